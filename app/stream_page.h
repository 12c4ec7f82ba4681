#pragma once
// The stream page: a web page on this computer only (127.0.0.1) that shows the grid for a
// browser source of OBS, with true transparency and pushed live as keys go down and up.
// Off until the user turns it on from the pop-up menu; the choice, the port and the secret
// token that every request must carry are kept in lumatap.ini, section [stream].

#include <string>

namespace lumatap {

class Form1;

// The page itself (app/stream_page_html.cpp).
extern const char* const kStreamPageHtml;

// The port the page is served on when lumatap.ini names none.
inline constexpr int kDefaultStreamPort = 28455;

class StreamPage {
public:
  explicit StreamPage(Form1& form);
  ~StreamPage();
  StreamPage(const StreamPage&) = delete;
  StreamPage& operator=(const StreamPage&) = delete;

  // Reads [stream] and, when the page was left on, serves it again. After the grid is laid
  // out and shown, so the page gets the layout at once.
  void load();
  // The submenu's items.
  void mnuStreamUse_Click();
  void mnuStreamCopy_Click();
  void mnuStreamNewAddress_Click();
  // The end: nothing is served any more.
  void stop();

  bool serving() const { return serving_; }
  std::string address() const;

private:
  bool start(bool userAsked);
  void showState();
  bool makeToken();
  void save();

  Form1& form_;
  bool enabled_ = false;
  bool serving_ = false;
  bool portTakenSaid_ = false;
  int port_ = kDefaultStreamPort;
  std::string token_;
};

// A token as lumatap.ini keeps it: 32 hexadecimal digits, 128 bits.
bool isStreamToken(const std::string& text);

}  // namespace lumatap
