#include "sources/media_file.h"

#include <string>
#include <string_view>

namespace tavrona {

FormatContextPtr OpenMediaFile(const std::filesystem::path& path) {
  const std::string url = "file:" + path.string();
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  AVFormatContext* raw = nullptr;
  const int opened = avformat_open_input(&raw, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (opened < 0) return nullptr;
  return FormatContextPtr(raw);
}

bool IsStillImageFormat(const AVInputFormat& format) {
  const std::string_view name = format.name;
  return name == "image2" || name == "image2pipe" ||
         (name.size() > 5 && name.substr(name.size() - 5) == "_pipe");
}

}  // namespace tavrona
