// Who may use the settings page. The server listens on loopback, where any
// local program and any web page the user has open can reach it, so a
// request is served only when it is addressed to the printed host and port
// (which defeats DNS rebinding), carries this run's secret token (which a
// page that merely knows the port cannot), and, when it changes anything,
// comes from the page's own origin with a JSON body (which plain forms and
// no-cors fetches cannot send). Refused requests never reach the module.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/page/settings_page.h"

namespace lensfall::cli {

// Largest request body the page accepts; an edit is a few dozen bytes.
inline constexpr size_t kMaxPageBodyBytes = 4096;
// The header the page sends the token in, lower case as requests keep it.
inline constexpr char kTokenHeader[] = "x-lensfall-token";

struct PageAccess {
  int port = 0;
  std::string token;
};

// 32 bytes from the system's random source, as hex.
std::string newPageToken();

// Compares in time that does not depend on where the strings differ, so
// the token cannot be guessed a byte at a time.
bool sameSecret(std::string_view given, std::string_view expected);

// The answer to a request that may not be served; nothing when it may.
std::optional<PageResponse> refusal(const PageRequest &request,
                                    const PageAccess &access);

}  // namespace lensfall::cli
