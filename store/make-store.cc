// lumo-store-make: builds the demo store's generated content at build time.
//   lumo-store-make apk RECIPE.json APK ICON   one sample game (a real APK made by aapt) and
//                                               its store icon
//   lumo-store-make list CATALOGUE.json FOLDER  FOLDER/games.json: the catalogue with each
//                                               game's APK size and SHA-256
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <openssl/evp.h>
#include <sstream>
#include <string>

#include <json/json.h>

#include "platform/process.h"
#include "store/apk-builder.h"

namespace {

namespace fs = std::filesystem;

constexpr char kFont[] = "/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc";
constexpr std::uint64_t kMiB = std::uint64_t{1024} * 1024;

bool ReadJson(const std::string& path, Json::Value* value) {
  std::ifstream in(path, std::ios::binary);
  Json::CharReaderBuilder builder;
  std::string errors;
  if (in && Json::parseFromStream(builder, in, value, &errors)) return true;
  std::fprintf(stderr, "lumo-store-make: cannot read %s: %s\n", path.c_str(), errors.c_str());
  return false;
}

// A gradient square with the game's first character: recognisable at a glance in the grid.
bool DrawIcon(const Json::Value& game, const fs::path& icon) {
  fs::create_directories(icon.parent_path());
  std::string gradient =
      "gradient:" + game["colours"][0].asString() + "-" + game["colours"][1].asString();
  std::vector<std::string> argv = {"/usr/bin/convert", "-size", "192x192", gradient};
  if (fs::exists(kFont)) {
    argv.insert(argv.end(), {"-font", kFont, "-pointsize", "104", "-fill", "white", "-gravity",
                             "center", "-annotate", "+0+0", game["glyph"].asString()});
  }
  argv.push_back(icon.string());
  lumo::platform::ProcessOutput out = lumo::platform::RunProcess(argv, 1 << 16);
  if (out.started && out.exitCode == 0) return true;
  std::fprintf(stderr, "lumo-store-make: convert failed: %s\n", out.text.c_str());
  return false;
}

int MakeApk(const std::string& recipePath, const fs::path& apk, const fs::path& icon) {
  Json::Value game;
  if (!ReadJson(recipePath, &game) || !DrawIcon(game, icon)) return 1;
  lumo::store::ApkSpec recipe;
  recipe.packageName = game["packageName"].asString();
  recipe.label = game["label"].asString();
  recipe.chineseLabel = game["appName"].asString();
  recipe.iconDensities = {160, 240, 320, 480};
  recipe.iconImage = icon.string();
  for (const Json::Value& abi : game["abis"]) recipe.nativeAbis.push_back(abi.asString());
  recipe.payloadBytes = game["payloadMiB"].asUInt64() * kMiB;
  fs::create_directories(apk.parent_path());
  std::string error;
  if (lumo::store::BuildApk(recipe, apk.string(), &error)) return 0;
  std::fprintf(stderr, "lumo-store-make: %s: %s\n", apk.c_str(), error.c_str());
  return 1;
}

std::string Sha256Hex(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                  EVP_MD_CTX_free);
  if (!in || !context || !EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr)) return "";
  std::vector<char> buffer(1 << 20);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
    EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(in.gcount()));
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  EVP_DigestFinal_ex(context.get(), digest.data(), &length);
  std::string hex;
  char pair[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof(pair), "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

// What the pages read: the catalogue's texts plus the facts of the files as served.
Json::Value ListedGame(const Json::Value& game, const fs::path& folder) {
  std::string name = game["packageName"].asString();
  fs::path apk = folder / "apk" / (name + ".apk");
  Json::Value listed;
  for (const char* key : {"packageName", "appName", "label", "category", "description"})
    listed[key] = game[key];
  listed["abis"] = game["abis"];
  listed["apk"] = "/apk/" + name + ".apk";
  listed["image"] = "/icons/" + name + ".png";
  listed["size"] = static_cast<Json::UInt64>(fs::file_size(apk));
  listed["sha256"] = Sha256Hex(apk);
  return listed;
}

int MakeList(const std::string& cataloguePath, const fs::path& folder) {
  Json::Value catalogue;
  if (!ReadJson(cataloguePath, &catalogue)) return 1;
  Json::Value list;
  list["games"] = Json::Value(Json::arrayValue);
  try {
    for (const Json::Value& game : catalogue["games"])
      list["games"].append(ListedGame(game, folder));
  } catch (const fs::filesystem_error& error) {
    std::fprintf(stderr, "lumo-store-make: %s\n", error.what());
    return 1;
  }
  Json::StreamWriterBuilder writer;
  writer["indentation"] = " ";
  writer["emitUTF8"] = true;
  std::ofstream out(folder / "games.json", std::ios::binary);
  out << Json::writeString(writer, list) << "\n";
  return out ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "apk" && argc == 5) return MakeApk(argv[2], argv[3], argv[4]);
  if (mode == "list" && argc == 4) return MakeList(argv[2], argv[3]);
  std::fprintf(stderr, "usage: lumo-store-make apk RECIPE APK ICON | list CATALOGUE FOLDER\n");
  return 2;
}
