// The settings page on a socket: an HTTP server on 127.0.0.1 that lets
// through only what page_access allows and hands the rest to the page.
// Several workers serve connections, each with short timeouts and a capped
// body, so an idle or slow client never holds up the page; the page itself
// still reaches the module one request at a time.
#pragma once

#include <memory>
#include <string>

#include "cli/page/page_access.h"
#include "cli/page/settings_page.h"

namespace httplib {
class Server;
}

namespace lensfall::cli {

class PageServer {
 public:
  explicit PageServer(SettingsPage &page);
  ~PageServer();
  PageServer(const PageServer &) = delete;
  PageServer &operator=(const PageServer &) = delete;

  // Listens on 127.0.0.1:port, or on any free port when it is 0. Throws
  // HostError when the port cannot be had.
  void bind(int port);
  int port() const { return access_.port; }
  const std::string &token() const { return access_.token; }
  // The address to open: the page with this run's token.
  std::string address() const;

  // Serves until stop() is called from another thread.
  void run();
  bool running() const;
  void stop();

 private:
  SettingsPage &page_;
  PageAccess access_;
  std::unique_ptr<httplib::Server> server_;
};

}  // namespace lensfall::cli
