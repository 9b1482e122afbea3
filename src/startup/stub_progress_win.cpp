#include "startup/stub_progress_win.h"

#include "startup/main_window_win.h"

namespace startup {

namespace {

void DriveBars(http::TProgBar*, int event, int position, int maximum, const std::string&) {
  switch (event) {
  case http::kEventRange:
    StubProgress(0, maximum, 1, position);
    break;
  case http::kEventText:
    StubProgress(1, 0, 0, 0);
    break;
  case http::kEventEnd:
    StubProgress(2, 0, 0, 0);
    break;
  }
}

} // namespace

http::TProgBar* StubProgressObject() {
  static http::TProgBar* object = new http::TProgBar(&DriveBars);
  return object;
}

} // namespace startup
