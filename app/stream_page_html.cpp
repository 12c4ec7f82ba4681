// The stream page: one file of HTML, CSS and JavaScript, served by the program itself and
// shown by OBS as a browser source. Written for the browser of the oldest OBS still in use
// (Chromium 103): no modules, nothing fetched from elsewhere.
//
// It draws the grid from the skin's pixels exactly as the window does, cell for cell at a
// whole-number scale (?scale=N), with the skin's transparent pixels and the empty cells
// fully transparent. What to draw arrives pushed over one event stream: a layout message
// when the profile, layout or skin changes, and a lit message for each change of the keys.
// The browser reconnects by itself when the program restarts.
//
// With ?counters=1 each cell also shows how often its key was pressed, and a line under
// the grid the keys per second and their peak. The counters come with the lit messages
// (the program pushes KPS falling too); the page runs nothing on a clock of its own.
#include "app/stream_page.h"

namespace lumatap {

const char* const kStreamPageHtml = R"HTML(<!DOCTYPE html>
<html lang="ja">
<head>
<meta charset="utf-8">
<title>Lumatap</title>
<style>
html, body { margin: 0; padding: 0; background: transparent; overflow: hidden; }
canvas { display: block; image-rendering: pixelated; }
#stage { position: relative; }
/* White on a black outline: legible over light and dark key caps and over any game. */
.count, #kps {
  color: #fff; font-weight: bold; white-space: nowrap; line-height: 1;
  font-family: "Segoe UI", "Yu Gothic UI", "Meiryo", sans-serif;
}
.count { position: absolute; text-align: right; }
</style>
</head>
<body>
<div id="stage"><canvas id="grid" width="0" height="0"></canvas></div>
<div id="kps" hidden></div>
<script>
(function () {
  "use strict";
  var query = new URLSearchParams(location.search);
  var token = query.get("token") || "";
  var scale = parseInt(query.get("scale") || "1", 10);
  if (!(scale >= 1 && scale <= 16)) scale = 1;
  var counters = query.get("counters") === "1";
  var canvas = document.getElementById("grid");
  var ctx = canvas.getContext("2d");
  var stage = document.getElementById("stage"), kpsLine = document.getElementById("kps");
  var layout = null, skin = null, skinVersion = -1, lit = 0, hidden = false;
  var counts = [], kps = 0, peak = 0, countCells = [];

  // An outline of `w` CSS pixels all around, from eight shadows.
  function outline(w) {
    var s = [];
    for (var dx = -1; dx <= 1; dx++)
      for (var dy = -1; dy <= 1; dy++)
        if (dx || dy) s.push(dx * w + "px " + dy * w + "px 0 #000");
    return s.join(",");
  }

  // One text per slot in the bottom-right corner of its cell, made again when the grid
  // changes; the text itself changes only when its count does.
  function placeCounts() {
    for (var i = 0; i < countCells.length; i++) stage.removeChild(countCells[i]);
    countCells = [];
    if (!counters || !layout) return;
    var c = layout.cell * scale, pad = 3 * scale;
    for (var j = 0; j < layout.slots.length; j++) {
      var e = document.createElement("div");
      e.className = "count";
      e.style.left = ((j % layout.cols) * c + pad) + "px";
      e.style.width = (c - 2 * pad) + "px";
      e.style.top = (Math.floor(j / layout.cols) * c + c - pad - 12 * scale) + "px";
      e.style.fontSize = (12 * scale) + "px";
      e.style.textShadow = outline(scale);
      stage.appendChild(e);
      countCells.push(e);
    }
    // A line of 16 pixels a scale: the browser source is that much higher than the grid.
    kpsLine.style.fontSize = (12 * scale) + "px";
    kpsLine.style.lineHeight = (16 * scale) + "px";
    kpsLine.style.height = (16 * scale) + "px";
    kpsLine.style.textShadow = outline(scale);
    kpsLine.style.paddingLeft = scale + "px";
    kpsLine.hidden = false;
  }

  function showCounts() {
    for (var i = 0; i < countCells.length; i++) {
      var text = i < counts.length ? String(counts[i]) : "";
      if (countCells[i].textContent !== text) countCells[i].textContent = text;
    }
    var line = "KPS " + kps + "（最高 " + peak + "）";
    if (counters && kpsLine.textContent !== line) kpsLine.textContent = line;
  }

  // Halves every colour and draws an amber edge of two skin pixels, as the window does while
  // the program in front hides its keys from Lumatap.
  function dim() {
    var w = canvas.width, h = canvas.height;
    if (!w || !h) return;
    var img = ctx.getImageData(0, 0, w, h), p = img.data;
    for (var i = 0; i < p.length; i += 4) {
      p[i] >>= 1; p[i + 1] >>= 1; p[i + 2] >>= 1;
    }
    ctx.putImageData(img, 0, 0);
    ctx.fillStyle = "#ffa000";
    ctx.fillRect(0, 0, w, 2); ctx.fillRect(0, h - 2, w, 2);
    ctx.fillRect(0, 0, 2, h); ctx.fillRect(w - 2, 0, 2, h);
  }

  function drawCell(i) {
    var c = layout.cell;
    var x = (i % layout.cols) * c, y = Math.floor(i / layout.cols) * c;
    ctx.clearRect(x, y, c, c);
    ctx.drawImage(skin, layout.slots[i] * c, ((lit >>> i) & 1) * c, c, c, x, y, c, c);
  }

  // What the canvas shows: the lit slots and whether dimmed, or null when it needs a whole
  // drawing (new layout or skin).
  var shown = null;

  // heard: the performance.now() at which the event handler that led here began.
  function draw(heard) {
    if (!layout) return;
    if (skin && shown && shown.hidden === hidden && !hidden) {
      // Only the keys that changed: a key's news reaches the picture sooner.
      var changed = (shown.lit ^ lit) >>> 0;
      for (var k = 0; k < layout.slots.length; k++) {
        if ((changed >>> k) & 1) drawCell(k);
      }
    } else {
      ctx.clearRect(0, 0, canvas.width, canvas.height);
      if (skin) {
        for (var i = 0; i < layout.slots.length; i++) drawCell(i);
      }
      if (hidden) dim();
    }
    shown = skin ? { lit: lit, hidden: hidden } : null;
    showCounts();
    window.dispatchEvent(new CustomEvent("lumatap-drawn", { detail: { lit: lit, heard: heard } }));
  }

  function takeLayout(l) {
    layout = l;
    shown = null;
    var w = l.cols * l.cell, h = l.rows * l.cell;
    if (canvas.width !== w || canvas.height !== h) {
      canvas.width = w;
      canvas.height = h;
      canvas.style.width = (w * scale) + "px";
      canvas.style.height = (h * scale) + "px";
    }
    placeCounts();
    if (l.skin !== skinVersion) {
      // The old skin's cells are not this layout's: nothing but the counts until it comes.
      skin = null;
      skinVersion = l.skin;
      fetchSkin(l);
    }
    draw();
  }

  // A request the server dropped (it was busy with other pages) is made again a second
  // later, as long as no newer skin was announced meanwhile.
  function fetchSkin(l) {
    var wanted = l.skin;
    fetch("/skin?token=" + encodeURIComponent(token) + "&v=" + wanted, { cache: "no-store" })
      .then(function (r) { return r.ok ? r.arrayBuffer() : Promise.reject(r.status); })
      .then(function (buf) {
        if (wanted !== skinVersion || buf.byteLength !== 4 * l.skinW * l.skinH || !buf.byteLength) return null;
        return createImageBitmap(new ImageData(new Uint8ClampedArray(buf), l.skinW, l.skinH),
                                 { premultiplyAlpha: "none" });
      })
      .then(function (bitmap) { if (bitmap && wanted === skinVersion) { skin = bitmap; shown = null; draw(); } })
      .catch(function (e) {
        // A refusal (its status) stays one; a dropped connection (TypeError) may not.
        if (e instanceof TypeError) setTimeout(function () { if (wanted === skinVersion) fetchSkin(l); }, 1000);
      });
  }

  var events = new EventSource("/events?token=" + encodeURIComponent(token) + (counters ? "&counters=1" : ""));
  events.addEventListener("layout", function (e) {
    var m = JSON.parse(e.data);
    if (m.layout) takeLayout(m.layout);
  });
  events.addEventListener("lit", function (e) {
    var heard = performance.now();
    var m = JSON.parse(e.data);
    lit = m.lit >>> 0;
    hidden = !!m.hidden;
    if (m.counts) {
      counts = m.counts;
      kps = m.kps;
      peak = m.peak;
    }
    draw(heard);
  });
})();
</script>
</body>
</html>
)HTML";

}  // namespace lumatap
