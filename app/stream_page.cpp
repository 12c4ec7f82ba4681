// The stream page's switch, address and settings. Serving it is the platform's
// (platform/stream.h); what it shows comes from the display window (display/stream.cpp).
#include "app/stream_page.h"

#include "app/iniReadWrite.h"
#include "display/form1.h"
#include "platform/stream.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace lumatap {

namespace {
std::string settingsPath() { return programPath("\\lumatap.ini"); }

// A port a program may listen on without rights of its own, above the well-known ones.
int portFromText(const std::string& text) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    return kDefaultStreamPort;
  const int port = std::stoi(text);
  return port > 1024 && port <= 65535 ? port : kDefaultStreamPort;
}

void tell(const std::string& text, plat::MsgIcon icon) {
  plat::messageBox(text, "", plat::MsgButtons::Ok, icon);
}
}  // namespace

bool isStreamToken(const std::string& text) {
  return text.size() == 32 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

StreamPage::StreamPage(Form1& form) : form_(form) {}

StreamPage::~StreamPage() { stop(); }

std::string StreamPage::address() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/?token=" + token_;
}

void StreamPage::load() {
  const std::string path = settingsPath();
  enabled_ = IniRead("stream", "enabled", "0", path) == "1";
  port_ = portFromText(IniRead("stream", "port", "", path));
  token_ = IniRead("stream", "token", "", path);
  // Left on with a token that is not one (edited by hand): nothing is served until the
  // user turns the page on again, which makes a new one.
  if (enabled_ && isStreamToken(token_)) start(false);
  showState();
}

bool StreamPage::makeToken() {
  unsigned char bytes[16];
  if (!plat::randomBytes(bytes, sizeof bytes)) return false;
  static const char kHex[] = "0123456789abcdef";
  token_.clear();
  for (unsigned char b : bytes) {
    token_ += kHex[b >> 4];
    token_ += kHex[b & 15];
  }
  return true;
}

bool StreamPage::start(bool userAsked) {
  plat::setStreamPage(kStreamPageHtml);
  switch (plat::startStreamServer(port_, token_)) {
    case plat::StreamStart::Listening:
      serving_ = true;
      streamPageOpened(form_);
      return true;
    case plat::StreamStart::PortTaken:
      // Said once at start-up; again only when the user asks again.
      if (userAsked || !portTakenSaid_) {
        portTakenSaid_ = true;
        tell("ポート " + std::to_string(port_) +
                 " はほかのプログラムが使っているため、配信用ページを開けません。\r\n"
                 "lumatap.ini の [stream] の port を別の番号（1025〜65535）にすると開けます。",
             plat::MsgIcon::Exclamation);
      }
      return false;
    case plat::StreamStart::Failed:
      break;
  }
  if (userAsked) tell("配信用ページを開けませんでした。", plat::MsgIcon::Exclamation);
  return false;
}

void StreamPage::stop() {
  if (!serving_) return;
  plat::stopStreamServer();
  serving_ = false;
  form_.streamPage = false;
}

void StreamPage::showState() {
  plat::MenuItem& menu = form_.mnuStream();
  menu.items[0].checked = serving_;
  menu.items[1].enabled = serving_;
  menu.items[2].enabled = serving_;
}

void StreamPage::save() {
  // At once rather than at the end: the address in OBS must stay valid even when the
  // program does not end normally.
  const std::string path = settingsPath();
  if (!iniWriteAll({{"stream", "enabled", enabled_ ? "1" : "0"},
                    {"stream", "port", std::to_string(port_)},
                    {"stream", "token", token_}},
                   path)) {
    reportUnsavedFile(path);
  }
}

void StreamPage::mnuStreamUse_Click() {
  if (serving_) {
    stop();
    enabled_ = false;
    save();
    showState();
    return;
  }
  if (!isStreamToken(token_) && !makeToken()) {
    tell("安全なアドレスを作れなかったため、配信用ページを開けません。", plat::MsgIcon::Exclamation);
    return;
  }
  enabled_ = true;
  save();
  if (start(true)) {
    const bool copied = plat::setClipboardText(address());
    tell(std::string("配信用ページを開きました。\r\n") +
             (copied ? "アドレスをクリップボードにコピーしました。" : "") +
             "OBS の「ブラウザ」ソースの URL に貼り付けてください。\r\n" + address(),
         plat::MsgIcon::None);
  }
  showState();
}

void StreamPage::mnuStreamCopy_Click() {
  if (!serving_) return;
  if (!plat::setClipboardText(address()))
    tell("クリップボードにコピーできませんでした。\r\n" + address(), plat::MsgIcon::Exclamation);
}

void StreamPage::mnuStreamNewAddress_Click() {
  if (!serving_) return;
  if (plat::messageBox("新しいアドレスにすると、今のアドレスでは配信用ページを見られなくなります。\r\n"
                       "新しいアドレスにしますか？",
                       "", plat::MsgButtons::YesNo, plat::MsgIcon::Question) != plat::MsgAnswer::Yes) {
    return;
  }
  if (!makeToken()) {
    tell("安全なアドレスを作れなかったため、今のアドレスのままです。", plat::MsgIcon::Exclamation);
    return;
  }
  // Every page connected with the old token is cut off with the server that knew it.
  stop();
  save();
  if (start(true)) {
    plat::setClipboardText(address());
    tell("新しいアドレスをクリップボードにコピーしました。OBS のブラウザソースの URL を貼り替えてください。\r\n" +
             address(),
         plat::MsgIcon::None);
  }
  showState();
}

}  // namespace lumatap
