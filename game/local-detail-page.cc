#include "game/local-detail-page.h"

#include <cstdio>

#include "apk/package-reader.h"
#include "platform/file-system.h"

namespace lumo {

namespace {

std::string Escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string SizeText(std::uint64_t bytes) {
  char text[96];
  bool large = bytes >= 1048576;
  std::snprintf(text, sizeof text, "%.1f %s（%llu 字节）",
                static_cast<double>(bytes) / (large ? 1048576.0 : 1024.0), large ? "MB" : "KB",
                static_cast<unsigned long long>(bytes));
  return text;
}

std::string VersionText(const ApkBadging& read) {
  if (read.versionName.empty() && read.versionCode.empty()) return "未标明";
  if (read.versionCode.empty()) return read.versionName;
  return read.versionName + "（版本号 " + read.versionCode + "）";
}

std::string AbisText(const ApkBadging& read) {
  std::string abis;
  for (const std::string& abi : read.nativeCode) abis += (abis.empty() ? "" : "、") + abi;
  return abis.empty() ? "无（不含原生库）" : abis;
}

// The store's dark look, so the panel does not change its colours between games.
constexpr char kHead[] = R"(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'">
<style>
body { margin: 0; background: #12141b; color: #e9ecf2; font: 14px/1.6 "Noto Sans CJK SC", sans-serif; }
main { max-width: 1080px; margin: 0 auto; padding: 26px 28px; }
h1 { font-size: 22px; margin: 0 0 4px; }
.lead { color: #8b93a7; margin: 0 0 18px; }
.gone { color: #ff8a7a; }
table { border-collapse: collapse; background: #161922; border: 1px solid #222737; }
th, td { text-align: left; padding: 8px 18px; border-bottom: 1px solid #222737; vertical-align: top; }
th { color: #8b93a7; font-weight: 600; white-space: nowrap; }
td { word-break: break-all; }
</style>
)";

std::string Row(const char* name, const std::string& value) {
  return std::string("<tr><th>") + name + "</th><td>" + Escaped(value) + "</td></tr>\n";
}

}  // namespace

bool HasLocalDetail(const AppItemInfo& record) {
  return record.apkUrl.empty() && !record.localPath.empty();
}

std::string LocalDetailPage(const AppItemInfo& record, const LocalFile& file) {
  const ApkBadging& read = file.read;
  std::string name = !read.label.empty() ? read.label : record.appName;
  std::string package = !read.packageName.empty() ? read.packageName : record.packageName;
  std::string page = kHead;
  page += "<title>" + Escaped(name) + " - 本地游戏</title></head><body><main>\n";
  page += "<h1>" + Escaped(name) + "</h1>\n";
  page += file.readable ? "<p class=\"lead\">从本地添加的游戏，以下信息读自它的安装包。</p>\n"
                        : "<p class=\"lead gone\">安装包已无法读取：文件可能已被移动或删除。</p>\n";
  page += "<table>\n" + Row("包名", package);
  if (file.readable)
    page += Row("版本", VersionText(read)) + Row("大小", SizeText(file.size)) +
            Row("原生库", AbisText(read));
  page += Row("文件位置", record.localPath) + "</table>\n</main></body></html>\n";
  return page;
}

LocalDetail ReadLocalDetail(const AppItemInfo& record) {
  LocalFile file;
  if (platform::RegularFileSize(record.localPath, &file.size)) {
    // No icons folder: the panel already shows the icon taken when the game was added.
    file.read = ReadPackageFile(record.localPath, "");
    file.readable = !file.read.packageName.empty();
  }
  return {record.packageName, LocalDetailPage(record, file)};
}

}  // namespace lumo
