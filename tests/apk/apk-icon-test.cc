#include "apk/apk-icon.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <zlib.h>

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include "apk/adaptive-icon.h"
#include "apk/apk-badging.h"
#include "app/settings.h"
#include "tests/support/apk-builder.h"
#include "tests/support/log-capture.h"
#include "tests/support/sandbox.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;
using test::ApkSpec;
using test::IconFormat;
using test::TempDir;

ApkBadging BuildAndRead(const ApkSpec& recipe, const std::string& path) {
  std::string error;
  EXPECT_TRUE(test::BuildApk(recipe, path, &error)) << error;
  ApkBadging info;
  info.apkPath = path;
  ReadApkBadging(info);
  return info;
}

std::vector<std::string> FilesUnder(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    names.push_back(fs::relative(entry.path(), folder).string());
  std::sort(names.begin(), names.end());
  return names;
}

void PutLe(std::string* out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

// Deflated zeros: the first full-flushed MiB, the block that every further MiB repeats (a
// full flush forgets all history, so it never changes), and the final block.
struct DeflatedZeros {
  std::string first, repeated, tail;
  uLong mebibyteCrc = 0;
};

DeflatedZeros DeflateZeros() {
  std::vector<unsigned char> zeros(1 << 20, 0), block(1 << 16);
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  auto deflateOnce = [&](int flush, std::size_t in) {
    stream.next_in = zeros.data();
    stream.avail_in = static_cast<uInt>(in);
    stream.next_out = block.data();
    stream.avail_out = static_cast<uInt>(block.size());
    deflate(&stream, flush);
    return std::string(block.begin(), block.begin() + (block.size() - stream.avail_out));
  };
  DeflatedZeros out;
  out.first = deflateOnce(Z_FULL_FLUSH, zeros.size());
  out.repeated = deflateOnce(Z_FULL_FLUSH, zeros.size());
  out.tail = deflateOnce(Z_FINISH, 0);
  deflateEnd(&stream);
  out.mebibyteCrc = crc32(0, zeros.data(), static_cast<uInt>(zeros.size()));
  return out;
}

// The fields that the local header and the central directory share, from "version needed".
void PutEntryFields(std::string* out, uLong crc, std::uint64_t compressed,
                    std::uint64_t declaredSize, const std::string& name) {
  PutLe(out, 20, 2), PutLe(out, 0, 2), PutLe(out, 8, 2);      // version, flags, deflate
  PutLe(out, 0, 2), PutLe(out, 0x21, 2), PutLe(out, crc, 4);  // 1980-01-01, CRC
  PutLe(out, compressed, 4), PutLe(out, declaredSize, 4);
  PutLe(out, name.size(), 2);
}

// A zip with one deflated entry of `mebibytes` MiB of zeros, whose directory declares
// `declaredSize` bytes. Gigabytes of content take a few MiB of archive and no time to make.
void WriteZeroBomb(const std::string& path, const std::string& name, std::uint64_t mebibytes,
                   std::uint64_t declaredSize) {
  DeflatedZeros zeros = DeflateZeros();
  uLong crc = zeros.mebibyteCrc;
  for (std::uint64_t i = 1; i < mebibytes; ++i)
    crc = crc32_combine(crc, zeros.mebibyteCrc, 1 << 20);
  std::uint64_t compressed =
      zeros.first.size() + zeros.repeated.size() * (mebibytes - 1) + zeros.tail.size();
  std::string header, central, end;
  PutLe(&header, 0x04034b50, 4);
  PutEntryFields(&header, crc, compressed, declaredSize, name);
  PutLe(&header, 0, 2);  // no extra field
  header += name;
  PutLe(&central, 0x02014b50, 4), PutLe(&central, 20, 2);  // made by
  PutEntryFields(&central, crc, compressed, declaredSize, name);
  PutLe(&central, 0, 6), PutLe(&central, 0, 2), PutLe(&central, 0, 4), PutLe(&central, 0, 4);
  central += name;
  PutLe(&end, 0x06054b50, 4), PutLe(&end, 0, 4), PutLe(&end, 1, 2), PutLe(&end, 1, 2);
  PutLe(&end, central.size(), 4), PutLe(&end, header.size() + compressed, 4), PutLe(&end, 0, 2);

  std::ofstream out(path, std::ios::binary);
  out << header << zeros.first;
  for (std::uint64_t i = 1; i < mebibytes; ++i) out << zeros.repeated;
  out << zeros.tail << central << end;
}

TEST(ApkIcon, CopiesTheHdpiEntryByteForByteWhateverItsFormat) {
  TempDir dir;
  const std::string icons = dir / "icons";
  fs::create_directories(icons);
  struct Case {
    IconFormat format;
    std::string magic;
  } cases[] = {{IconFormat::kPng, "\x89PNG"},
               {IconFormat::kJpeg, "\xff\xd8\xff"},
               {IconFormat::kWebp, "RIFF"}};
  for (const Case& c : cases) {
    ApkSpec recipe;  // the same package each time: the later icon replaces the earlier
    recipe.iconFormat = c.format;
    recipe.iconDensities = {160, 240, 480};
    ApkBadging info = BuildAndRead(recipe, dir / "game.apk");
    ASSERT_EQ(info.iconEntry, test::IconEntryName(recipe, 240));
    ASSERT_TRUE(ExtractApkIcon(info, icons)) << info.iconEntry;
    EXPECT_EQ(info.iconPath, icons + "/com.lumo.sample.png");
    std::string bytes = test::ReadFile(info.iconPath);
    EXPECT_EQ(bytes, test::UnzipEntry(info.apkPath, info.iconEntry));
    EXPECT_EQ(bytes.substr(0, c.magic.size()), c.magic);
    EXPECT_EQ(FilesUnder(icons), std::vector<std::string>{"com.lumo.sample.png"});
  }
}

// The pixel at (x, y) as 0xRRGGBBAA.
std::uint32_t PixelAt(GdkPixbuf* picture, int x, int y) {
  const guchar* p = gdk_pixbuf_get_pixels(picture) + y * gdk_pixbuf_get_rowstride(picture) +
                    x * gdk_pixbuf_get_n_channels(picture);
  return (p[0] << 24u) | (p[1] << 16u) | (p[2] << 8u) |
         (gdk_pixbuf_get_has_alpha(picture) ? p[3] : 255u);
}

TEST(ApkIcon, AdaptiveIconsAreDrawnFromTheirLayersOrFallBackToTheBestRasterIcon) {
  TempDir dir;
  const std::string icons = dir / "icons";
  fs::create_directories(icons);
  for (auto kind : {test::AdaptiveIcon::kPictureLayers, test::AdaptiveIcon::kWebpLayers,
                    test::AdaptiveIcon::kColourBackground, test::AdaptiveIcon::kVectorForeground}) {
    ApkSpec recipe;
    recipe.adaptiveIcon = kind;
    ApkBadging info = BuildAndRead(recipe, dir / "adaptive.apk");
    ASSERT_EQ(info.iconEntry, "res/mipmap-anydpi-v26/ic_launcher.xml");
    ASSERT_TRUE(ExtractApkIcon(info, icons));
    EXPECT_EQ(test::ReadFile(info.iconPath).substr(0, 4), "\x89PNG");
    GdkPixbuf* picture = gdk_pixbuf_new_from_file(info.iconPath.c_str(), nullptr);
    ASSERT_NE(picture, nullptr);
    if (kind == test::AdaptiveIcon::kVectorForeground) {
      // A vector layer cannot be drawn here: the xxhdpi raster icon stands in, unchanged.
      EXPECT_EQ(gdk_pixbuf_get_width(picture), 144);
      EXPECT_EQ(PixelAt(picture, 72, 72), 0xff0000ffu);
    } else {
      // The disc on the background, cut to the middle two thirds, under a rounded mask.
      EXPECT_EQ(gdk_pixbuf_get_width(picture), kAdaptiveIconSize);
      EXPECT_EQ(PixelAt(picture, 96, 96), 0xffffffffu);
      EXPECT_EQ(PixelAt(picture, 96, 8), 0x3d7effffu);
      EXPECT_EQ(PixelAt(picture, 1, 1) & 0xff, 0u);
    }
    g_object_unref(picture);
  }
}

TEST(ApkIcon, NothingMissingOrBrokenYieldsAFile) {
  TempDir dir;
  const std::string icons = dir / "icons";
  fs::create_directories(icons);
  ApkSpec noIcon;
  noIcon.iconFormat = IconFormat::kNone;
  ApkBadging info = BuildAndRead(noIcon, dir / "no-icon.apk");
  EXPECT_FALSE(ExtractApkIcon(info, icons));

  ApkBadging good = BuildAndRead(ApkSpec{}, dir / "good.apk");
  ApkBadging wrongEntry = good;
  // Names are case-sensitive; entries that are no picture are never written as one.
  for (const char* entry :
       {"res/drawable-hdpi-v4/ICON.png", "AndroidManifest.xml", "resources.arsc"}) {
    wrongEntry.iconEntry = entry;
    EXPECT_FALSE(ExtractApkIcon(wrongEntry, icons)) << entry;
  }

  std::string whole = test::ReadFile(good.apkPath);
  test::WriteFile(dir / "truncated.apk", whole.substr(0, whole.size() / 2));
  test::WriteFile(dir / "text.apk", "not a zip");
  for (const char* name : {"truncated.apk", "text.apk", "missing.apk"}) {
    ApkBadging broken = good;
    broken.apkPath = dir / name;
    EXPECT_FALSE(ExtractApkIcon(broken, icons)) << name;
    EXPECT_TRUE(broken.iconPath.empty()) << name;
  }
  EXPECT_TRUE(FilesUnder(icons).empty());
}

TEST(ApkIcon, PackageNamesNeverSteerTheFileOutOfTheFolder) {
  TempDir dir;
  const std::string icons = dir / "a/b/icons";
  fs::create_directories(icons);
  ApkBadging good = BuildAndRead(ApkSpec{}, dir / "good.apk");
  for (const char* name : {"../evil", "../../../evil", "a/b", "..", ".", "", "com..x", ".com",
                           "com.", "/tmp/evil", "com.x\\..\\y", "名字", "com.x y"}) {
    EXPECT_FALSE(IsValidPackageName(name)) << name;
    ApkBadging forged = good;
    forged.packageName = name;
    EXPECT_FALSE(ExtractApkIcon(forged, icons)) << name;
    EXPECT_TRUE(forged.iconPath.empty());
  }
  for (const char* name : {"com.lumo.sample", "a", "A_1.b2.C_"})
    EXPECT_TRUE(IsValidPackageName(name)) << name;
  EXPECT_EQ(FilesUnder(dir / "a"), (std::vector<std::string>{"b", "b/icons"}));

  // A link planted at the icon's name is replaced, never written through.
  test::WriteFile(dir / "outside.txt", "keep me");
  fs::create_symlink(dir / "outside.txt", icons + "/com.lumo.sample.png");
  ASSERT_TRUE(ExtractApkIcon(good, icons));
  EXPECT_EQ(test::ReadFile(dir / "outside.txt"), "keep me");
  EXPECT_FALSE(fs::is_symlink(good.iconPath));
}

TEST(ApkIcon, RefusesAnEntryThatWouldInflateToGigabytes) {
  TempDir dir;
  const std::string icons = dir / "icons";
  fs::create_directories(icons);
  const std::string entry = "res/drawable-hdpi-v4/icon.png";
  ApkBadging info;
  info.packageName = "com.lumo.bomb";
  info.iconEntry = entry;

  // Honest directory: 3 GiB declared and really there.
  info.apkPath = dir / "honest.apk";
  WriteZeroBomb(info.apkPath, entry, 3072, 3072ull << 20);
  EXPECT_LT(fs::file_size(info.apkPath), 16u << 20);
  EXPECT_FALSE(ExtractApkIcon(info, icons));

  // Lying directory: a tiny size declared over the same gigabytes of zeros.
  info.apkPath = dir / "lying.apk";
  WriteZeroBomb(info.apkPath, entry, 3072, 1000);
  EXPECT_FALSE(ExtractApkIcon(info, icons));
  EXPECT_TRUE(info.iconPath.empty());
  EXPECT_TRUE(FilesUnder(icons).empty());  // no partial icon, no temporary file

  // The same crafted archive under the cap is read whole and refused only as no picture: the
  // refusals above are the cap's.
  info.apkPath = dir / "small.apk";
  WriteZeroBomb(info.apkPath, entry, 2, 2u << 20);
  EXPECT_FALSE(ExtractApkIcon(info, icons));
  ASSERT_TRUE(test::WaitForLogLine("icon entry is not a picture; not written."));
  std::string log = test::CapturedLog();  // lines are written in order: the earlier ones too
  EXPECT_EQ(log.find("is not a picture"), log.rfind("is not a picture"));
}

}  // namespace
}  // namespace lumo
