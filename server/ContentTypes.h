// The content types the asset server announces, by file extension.
// No Windows header.
#pragma once

#include <map>
#include <string>

// The 75 extensions (small letters, no dot) and their content types.
std::map<std::string, std::string> MakeContentTypeTable();

// The type for any extension not in the table.
inline constexpr char kDefaultContentType[] = "text/html";
