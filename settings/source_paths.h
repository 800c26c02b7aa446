// How the synchronisation reads a settings source and names its download.
#pragma once

#include <string>
#include <string_view>

namespace sentrel {

// A drive path: a letter followed by ':'. Everything else (UNC paths
// included) goes to the internet library as a URL.
bool IsDrivePath(std::string_view source);

// The extension of the URL's last path segment, from its last '.' on, so that
// the downloaded file carries the source's type; empty without a '.', or when
// the extension is longer than 255 characters. A query or fragment, or any
// character a file name cannot hold, ends the extension there.
std::string UrlFileExtension(std::string_view url);

}  // namespace sentrel
