#include "server/ContentTypes.h"

#include <string_view>

std::map<std::string, std::string> MakeContentTypeTable() {
    // Types shared by several extensions are listed once. The game's own
    // kinds ("asset", "mp", "res") are UTF-8 text.
    struct TypeRow {
        const char* type;
        std::string_view extensions;  // separated by blanks
    };
    static constexpr TypeRow kTypes[] = {
        {"text/xml; charset=UTF-8", "xml"},
        {"text/plain; charset=utf-8", "asset mp res"},
        {"image/png", "png"},
        {"application/x-shockwave-flash", "swf"},
        {"application/msword", "doc"},
        {"application/octet-stream", "bin dll exe"},
        {"application/pdf", "pdf"},
        {"application/pkcs7-mime", "p7c"},
        {"application/postscript", "ai eps ps"},
        {"text/richtext", "rtf rtx"},
        {"application/vnd.fdf", "fdf"},
        {"application/x-compressed", "arj cab"},
        {"application/x-gzip", "gz"},
        {"application/x-java-class", "class"},
        {"application/x-javascript", "js"},
        {"application/x-lzh", "lzh"},
        {"application/x-ms-shortcut", "lnk"},
        {"application/x-tar", "tar"},
        {"application/x-winhelp", "hlp"},
        {"application/x-x509-ca-cert", "cert"},
        {"application/zip", "zip"},
        {"audio/aiff", "aif aifc aiff"},
        {"audio/basic", "au snd"},
        {"audio/midi", "mid rmi"},
        {"audio/mpeg", "mp3"},
        {"audio/voxware", "vox"},
        {"audio/wav", "wav"},
        {"audio/x-pn-realaudio", "ra ram"},
        {"image/bmp", "bmp"},
        {"image/gif", "gif"},
        {"image/jpeg", "jpeg jpg"},
        {"image/tiff", "tif tiff"},
        {"image/xbm", "xbm"},
        {"model/vrml", "wrl"},
        {"text/html", "htm html"},
        {"text/plain", "c cpp def h txt"},
        {"text/x-java-source", "java"},
        {"text/css", "css"},
        {"video/mpeg", "mpeg mpg mpe"},
        {"video/msvideo", "avi"},
        {"video/quicktime", "mov qt"},
        {"wwwserver/html-ssi", "shtml"},
        {"wwwserver/isapi", "asa asp cfm dbm isa plx url cgi php wcgi"},
    };
    std::map<std::string, std::string> table;
    for (const TypeRow& row : kTypes) {
        std::string_view rest = row.extensions;
        while (!rest.empty()) {
            const size_t blank = rest.find(' ');
            table.emplace(std::string(rest.substr(0, blank)), row.type);
            rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
        }
    }
    return table;
}
