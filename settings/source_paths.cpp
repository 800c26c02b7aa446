#include "settings/source_paths.h"

#include "support/ascii.h"

#include <algorithm>

namespace sentrel {

bool IsDrivePath(std::string_view source) {
    if (source.size() < 2 || source[1] != ':') return false;
    return IsAsciiLetter(source[0]);
}

bool IsNetworkPath(std::string_view source) {
    if (source.size() < 3 || source[0] != '\\' || source[1] != '\\') return false;
    const char first = source[2];
    if (first == '\\' || first == '/') return false;
    // "\\?\" and "\\.\" begin local and device paths.
    return !((first == '?' || first == '.') && (source.size() == 3 || source[3] == '\\'));
}

SourceKind KindOfSource(std::string_view source) {
    if (IsDrivePath(source)) return SourceKind::DrivePath;
    if (IsNetworkPath(source)) return SourceKind::NetworkPath;
    return SourceKind::Url;
}

std::string UrlFileExtension(std::string_view url) {
    constexpr size_t kMaxExtension = 255;
    const size_t segmentStart = url.find_last_of("/\\");
    const std::string_view segment = segmentStart == std::string_view::npos ? url : url.substr(segmentStart + 1);
    const size_t dot = segment.rfind('.');
    if (dot == std::string_view::npos) return {};
    std::string_view extension = segment.substr(dot);
    if (extension.size() > kMaxExtension) return {};
    const size_t unusable = extension.find_first_of("?#:*\"<>|", 1);
    if (unusable != std::string_view::npos) extension = extension.substr(0, unusable);
    for (const char c : extension)
        if (static_cast<unsigned char>(c) < 0x20) return {};
    return std::string(extension == "." ? std::string_view() : extension);
}

std::string SourceForRecord(std::string_view source) {
    if (KindOfSource(source) != SourceKind::Url) return std::string(source);
    // The authority runs from after the first two slashes (or from the start
    // when the first slash is not doubled) to the next of "/\\?#"; its user
    // information ends at its last '@'.
    const size_t slash = source.find_first_of("/\\");
    const bool doubled = slash != std::string_view::npos && slash + 1 < source.size() &&
                         (source[slash + 1] == '/' || source[slash + 1] == '\\');
    const size_t start = doubled ? slash + 2 : 0;
    const size_t end = std::min(source.find_first_of("/\\?#", start), source.size());
    const size_t at = source.substr(start, end - start).rfind('@');
    if (at == std::string_view::npos) return std::string(source);
    return std::string(source.substr(0, start)) + std::string(source.substr(start + at + 1));
}

}  // namespace sentrel
