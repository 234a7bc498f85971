// The HTML document served at `/`.
#pragma once

#include <string>

namespace tarnview::server {

std::string ServedPage();

}  // namespace tarnview::server
