#include "store/apk-builder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include <zip.h>

#include "platform/process.h"

namespace lumo::store {

namespace fs = std::filesystem;

namespace {

constexpr char kFrameworkRes[] = "/usr/share/android-framework-res/framework-res.apk";
constexpr std::size_t kToolOutputLimit = 1 << 20;

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

std::string DensityQualifier(int density) {
  switch (density) {
    case 120:
      return "ldpi";
    case 160:
      return "mdpi";
    case 240:
      return "hdpi";
    case 320:
      return "xhdpi";
    case 480:
      return "xxhdpi";
    case 640:
      return "xxxhdpi";
    default:
      return std::to_string(density) + "dpi";
  }
}

std::string IconExtension(IconFormat format) {
  switch (format) {
    case IconFormat::kJpeg:
      return "jpg";
    case IconFormat::kWebp:
      return "webp";
    default:
      return "png";
  }
}

bool Run(const std::vector<std::string>& argv, std::string* error) {
  platform::ProcessOutput out = platform::RunProcess(argv, kToolOutputLimit);
  if (out.started && out.exitCode == 0) return true;
  if (error) *error = argv[0] + " failed: " + out.text;
  return false;
}

bool WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

std::string Manifest(const ApkSpec& recipe) {
  std::string icon =
      recipe.iconFormat == IconFormat::kNone ? "" : R"( android:icon="@drawable/icon")";
  if (recipe.adaptiveIcon != AdaptiveIcon::kNone) icon = R"( android:icon="@mipmap/ic_launcher")";
  std::string filter = recipe.launchable ? R"(
      <intent-filter>
        <action android:name="android.intent.action.MAIN"/>
        <category android:name="android.intent.category.LAUNCHER"/>
      </intent-filter>)"
                                         : "";
  return R"(<?xml version="1.0" encoding="utf-8"?>
<manifest xmlns:android="http://schemas.android.com/apk/res/android" package=")" +
         recipe.packageName + R"(" android:versionCode="1" android:versionName="1.0">
  <uses-sdk android:minSdkVersion="16" android:targetSdkVersion="28"/>
  <application android:label="@string/app_name")" +
         icon + R"(>
    <activity android:name=")" +
         recipe.activity + R"(" android:label="@string/app_name">)" + filter + R"(
    </activity>
  </application>
</manifest>
)";
}

std::string Strings(const std::string& label) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<resources><string name=\"app_name\">" +
         label + "</string></resources>\n";
}

bool WriteAdaptiveIcon(AdaptiveIcon kind, const fs::path& res, std::string* error) {
  bool colour = kind == AdaptiveIcon::kColourBackground;
  bool vector = kind == AdaptiveIcon::kVectorForeground;
  std::string background = colour || vector ? "@color/ic_back" : "@drawable/ic_back";
  bool ok = WriteText(res / "mipmap-anydpi-v26/ic_launcher.xml",
                      R"(<adaptive-icon xmlns:android="http://schemas.android.com/apk/res/android">
  <background android:drawable=")" +
                          background + R"("/>
  <foreground android:drawable="@drawable/ic_front"/>
</adaptive-icon>
)") && WriteText(res / "values/colours.xml",
                 R"(<resources><color name="ic_back">#3d7eff</color></resources>)");
  if (vector)
    ok = ok && WriteText(res / "drawable/ic_front.xml",
                         R"(<vector xmlns:android="http://schemas.android.com/apk/res/android"
  android:width="108dp" android:height="108dp" android:viewportWidth="108"
  android:viewportHeight="108"><path android:fillColor="#ffffff" android:pathData="M34,34h40v40h-40z"/></vector>
)");
  fs::create_directories(res / "drawable-xxhdpi");
  fs::create_directories(res / "mipmap-hdpi");
  fs::create_directories(res / "mipmap-xxhdpi");
  const std::string convert = "/usr/bin/convert";
  bool webp = kind == AdaptiveIcon::kWebpLayers;
  const std::string layer = webp ? ".webp" : ".png";
  const std::string exact = webp ? "webp:lossless=true" : "png:compression-level=6";
  return ok &&
         (vector || Run({convert, "-size", "324x324", "xc:none", "-fill", "white", "-draw",
                         "circle 162,162 162,222", "-define", exact,
                         (res / ("drawable-xxhdpi/ic_front" + layer)).string()},
                        error)) &&
         (colour || vector ||
          Run({convert, "-size", "324x324", "xc:#3d7eff", "-define", exact,
               (res / ("drawable-xxhdpi/ic_back" + layer)).string()},
              error)) &&
         Run({convert, "-size", "72x72", "xc:orange",
              (res / "mipmap-hdpi/ic_launcher.png").string()},
             error) &&
         Run({convert, "-size", "144x144", "xc:red",
              (res / "mipmap-xxhdpi/ic_launcher.png").string()},
             error);
}

bool WriteSources(const ApkSpec& recipe, const fs::path& work, std::string* error) {
  bool ok = WriteText(work / "AndroidManifest.xml", Manifest(recipe)) &&
            WriteText(work / "res/values/strings.xml", Strings(recipe.label));
  if (ok && !recipe.chineseLabel.empty())
    ok = WriteText(work / "res/values-zh-rCN/strings.xml", Strings(recipe.chineseLabel));
  if (!ok) {
    if (error) *error = "cannot write sources in " + work.string();
    return false;
  }
  if (recipe.adaptiveIcon != AdaptiveIcon::kNone)
    return WriteAdaptiveIcon(recipe.adaptiveIcon, work / "res", error);
  if (recipe.iconFormat == IconFormat::kNone) return true;
  const char* colours[] = {"red", "green", "blue", "orange", "purple", "teal"};
  int n = 0;
  for (int density : recipe.iconDensities) {
    fs::path dir = work / ("res/drawable-" + DensityQualifier(density));
    fs::create_directories(dir);
    std::string side = std::to_string(48 * density / 160);
    std::string image = (dir / ("icon." + IconExtension(recipe.iconFormat))).string();
    std::vector<std::string> convert =
        recipe.iconImage.empty()
            ? std::vector<std::string>{"/usr/bin/convert", "-size", side + "x" + side,
                                       std::string("xc:") + colours[n++ % 6], image}
            : std::vector<std::string>{"/usr/bin/convert", recipe.iconImage, "-resize",
                                       side + "x" + side + "!", image};
    if (!Run(convert, error)) return false;
  }
  return true;
}

bool WritePayload(const fs::path& path, std::uint64_t bytes) {
  std::ofstream out(path, std::ios::binary);
  std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  while (bytes > 0 && out) {
    for (std::uint64_t& word : block) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      word = state;
    }
    std::uint64_t take = std::min<std::uint64_t>(bytes, block.size() * sizeof(block[0]));
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(take));
    bytes -= take;
  }
  return static_cast<bool>(out);
}

bool AddFile(zip_t* archive, const std::string& name, const std::string& path, bool store) {
  zip_source_t* source = zip_source_file(archive, path.c_str(), 0, -1);
  if (!source) return false;
  zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE);
  if (index < 0) {
    zip_source_free(source);
    return false;
  }
  return !store || zip_set_file_compression(archive, index, ZIP_CM_STORE, 0) == 0;
}

bool AddExtras(const ApkSpec& recipe, const std::string& apkPath, const fs::path& work,
               std::string* error) {
  if (recipe.nativeAbis.empty() && recipe.payloadBytes == 0) return true;
  const fs::path library = work / "libgame.so";
  const fs::path payload = work / "payload.bin";
  // A small ELF-looking file: the archive only has to carry it.
  bool ok = WriteText(library, std::string("\x7f"
                                           "ELF\x02\x01\x01",
                                           7) +
                                   std::string(4096, 'L'));
  if (ok && recipe.payloadBytes > 0) ok = WritePayload(payload, recipe.payloadBytes);
  int code = 0;
  Archive archive(ok ? zip_open(apkPath.c_str(), 0, &code) : nullptr);
  if (!archive) {
    if (error) *error = "cannot open " + apkPath + " to add entries";
    return false;
  }
  for (const std::string& abi : recipe.nativeAbis)
    ok = ok && AddFile(archive.get(), "lib/" + abi + "/libgame.so", library.string(), false);
  if (recipe.payloadBytes > 0)
    ok = ok && AddFile(archive.get(), "assets/payload.bin", payload.string(), true);
  if (!ok || zip_close(archive.get()) != 0) {
    if (error) *error = std::string("cannot add entries: ") + zip_strerror(archive.get());
    return false;
  }
  (void)archive.release();  // zip_close has freed it
  return true;
}

}  // namespace

bool BuildBundle(const std::string& path,
                 const std::vector<std::pair<std::string, std::string>>& files,
                 const std::string& manifest, std::string* error) {
  int code = 0;
  Archive archive(zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code));
  bool ok = archive != nullptr;
  for (const auto& [name, file] : files) ok = ok && AddFile(archive.get(), name, file, true);
  if (ok && !manifest.empty()) {
    zip_source_t* source = zip_source_buffer(archive.get(), manifest.data(), manifest.size(), 0);
    ok = source && zip_file_add(archive.get(), "manifest.json", source, 0) >= 0;
    if (!ok) zip_source_free(source);
  }
  if (!ok || zip_close(archive.get()) != 0) {
    if (error) *error = "cannot build the bundle " + path;
    return false;
  }
  (void)archive.release();  // zip_close has freed it
  return true;
}

std::string IconEntryName(const ApkSpec& recipe, int density) {
  // aapt marks drawables of a density with the API level that introduced densities.
  return "res/drawable-" + DensityQualifier(density) + "-v4/icon." +
         IconExtension(recipe.iconFormat);
}

bool BuildApk(const ApkSpec& recipe, const std::string& apkPath, std::string* error) {
  const fs::path work = apkPath + ".build";
  std::error_code ignored;
  fs::remove_all(work, ignored);
  fs::remove(apkPath, ignored);
  bool ok = WriteSources(recipe, work, error) &&
            Run({"/usr/bin/aapt", "package", "-f", "-M", (work / "AndroidManifest.xml").string(),
                 "-S", (work / "res").string(), "-I", kFrameworkRes, "-F", apkPath},
                error) &&
            AddExtras(recipe, apkPath, work, error);
  fs::remove_all(work, ignored);
  return ok;
}

}  // namespace lumo::store
