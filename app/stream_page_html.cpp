// The stream page: one file of HTML, CSS and JavaScript, served by the program itself and
// shown by OBS as a browser source. Written for the browser of the oldest OBS still in use
// (Chromium 103): no modules, nothing fetched from elsewhere.
//
// It draws the grid from the skin's pixels exactly as the window does, cell for cell at a
// whole-number scale (?scale=N), with the skin's transparent pixels and the empty cells
// fully transparent. What to draw arrives pushed over one event stream: a layout message
// when the profile, layout or skin changes, and a lit message for each change of the keys.
// The browser reconnects by itself when the program restarts.
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
</style>
</head>
<body>
<canvas id="grid" width="0" height="0"></canvas>
<script>
(function () {
  "use strict";
  var query = new URLSearchParams(location.search);
  var token = query.get("token") || "";
  var scale = parseInt(query.get("scale") || "1", 10);
  if (!(scale >= 1 && scale <= 16)) scale = 1;
  var canvas = document.getElementById("grid");
  var ctx = canvas.getContext("2d");
  var layout = null, skin = null, skinVersion = -1, lit = 0, hidden = false;

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
    if (l.skin === skinVersion) { draw(); return; }
    skinVersion = l.skin;
    var wanted = l.skin;
    fetch("/skin?token=" + encodeURIComponent(token) + "&v=" + wanted, { cache: "no-store" })
      .then(function (r) { return r.ok ? r.arrayBuffer() : Promise.reject(r.status); })
      .then(function (buf) {
        if (wanted !== skinVersion || buf.byteLength !== 4 * l.skinW * l.skinH || !buf.byteLength) return null;
        return createImageBitmap(new ImageData(new Uint8ClampedArray(buf), l.skinW, l.skinH),
                                 { premultiplyAlpha: "none" });
      })
      .then(function (bitmap) { if (bitmap) { skin = bitmap; shown = null; draw(); } })
      .catch(function () { skinVersion = -1; });
  }

  var events = new EventSource("/events?token=" + encodeURIComponent(token));
  events.addEventListener("layout", function (e) {
    var m = JSON.parse(e.data);
    if (m.layout) takeLayout(m.layout);
  });
  events.addEventListener("lit", function (e) {
    var heard = performance.now();
    var m = JSON.parse(e.data);
    lit = m.lit >>> 0;
    hidden = !!m.hidden;
    draw(heard);
  });
})();
</script>
</body>
</html>
)HTML";

}  // namespace lumatap
