#include "toolkit/toolkit.h"

#include <map>
#include <set>

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include "app/log.h"
#include "app/paths.h"
#include "toolkit/resource-archive.h"
#include "toolkit/skin-cache.h"

namespace lumo::toolkit {

namespace {

constexpr char kSkinPrefix[] = "skin:";
constexpr char kThemeFile[] = "theme.css";

struct State {
  bool initialised = false;
  ResourceArchive archive;
  std::string imageDir;
  std::set<std::string> images;
  std::map<std::string, bool> checkedImages;
  GtkCssProvider* theme = nullptr;
};

State& state() {
  static State instance;
  return instance;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// An image that does not decode is logged and left out, so skins fall back to no image. Each
// is decoded once, when it is first asked for: start-up asks for few of them.
bool DecodesOnce(State& s, const std::string& name) {
  auto known = s.checkedImages.find(name);
  if (known != s.checkedImages.end()) return known->second;
  std::string path = PathJoin(s.imageDir, name);
  GError* error = nullptr;
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(path.c_str(), &error);
  if (pixbuf) {
    g_object_unref(pixbuf);
  } else {
    Log::instance()->write("skin image %s does not decode: %s", name.c_str(), error->message);
    g_error_free(error);
  }
  return s.checkedImages[name] = pixbuf != nullptr;
}

void OnThemeError(GtkCssProvider*, GtkCssSection* section, GError* error, gpointer) {
  Log::instance()->write("skin theme line %u: %s", gtk_css_section_get_start_line(section) + 1,
                         error->message);
}

// The skins are dark; GTK's own windows, such as the file chooser, follow them. GTK parses
// its theme when it makes its settings and again when the preference changes, 13 ms each, so
// the preference is made the default before the settings exist. A settings file or desktop
// that says otherwise is overruled afterwards, at the cost of the second parse.
void PreferDarkTheme() {
  constexpr char kPreferDark[] = "gtk-application-prefer-dark-theme";
  auto* settingsClass = static_cast<GObjectClass*>(g_type_class_ref(GTK_TYPE_SETTINGS));
  GParamSpec* preference = g_object_class_find_property(settingsClass, kPreferDark);
  if (preference && G_IS_PARAM_SPEC_BOOLEAN(preference))
    G_PARAM_SPEC_BOOLEAN(preference)->default_value = TRUE;
  g_type_class_unref(settingsClass);
  GtkSettings* settings = gtk_settings_get_default();
  gboolean dark = FALSE;
  g_object_get(settings, kPreferDark, &dark, nullptr);
  if (!dark) g_object_set(settings, kPreferDark, TRUE, nullptr);
}

void LoadTheme(State& s) {
  std::string css;
  if (!LoadSkinText(kThemeFile, &css)) return;
  PreferDarkTheme();
  s.theme = gtk_css_provider_new();
  g_signal_connect(s.theme, "parsing-error", G_CALLBACK(OnThemeError), nullptr);
  gtk_css_provider_load_from_data(s.theme, css.data(), static_cast<gssize>(css.size()), nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(s.theme),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

}  // namespace

bool Init(const std::string& resourceDir, const std::string& archiveName, std::string* error) {
  State& s = state();
  if (s.initialised) return true;
  std::string archivePath = PathJoin(resourceDir, archiveName);
  if (!s.archive.Open(archivePath, error)) return false;
  s.imageDir = CachedImageFolder(s.archive, archivePath, error);
  if (s.imageDir.empty()) return false;
  s.images.clear();
  s.checkedImages.clear();
  for (const std::string& name : s.archive.Names())
    if (IsImageEntry(name)) s.images.insert(name);
  // Skins name the browser class; it must be registered before the first layout is built.
  g_type_ensure(WEBKIT_TYPE_WEB_VIEW);
  s.initialised = true;
  LoadTheme(s);
  return true;
}

void Shutdown() {
  State& s = state();
  // The unpacked images stay in the cache for the next start.
  s.imageDir.clear();
  s.images.clear();
  s.checkedImages.clear();
  if (s.theme) {
    gtk_style_context_remove_provider_for_screen(gdk_screen_get_default(),
                                                 GTK_STYLE_PROVIDER(s.theme));
    g_object_unref(s.theme);
    s.theme = nullptr;
  }
  s.initialised = false;
}

bool IsInitialised() {
  return state().initialised;
}

bool LoadSkinText(const std::string& name, std::string* text) {
  State& s = state();
  if (!s.archive.Read(name, text)) {
    Log::instance()->write("skin file %s is not in the resource archive.", name.c_str());
    return false;
  }
  *text = ReplaceAll(std::move(*text), kSkinPrefix, s.imageDir + "/");
  return true;
}

std::string ImagePath(const std::string& name) {
  State& s = state();
  return s.images.count(name) && DecodesOnce(s, name) ? PathJoin(s.imageDir, name) : std::string();
}

std::string ImageFile(const std::string& reference) {
  State& s = state();
  std::string name = reference;
  if (name.rfind(kSkinPrefix, 0) == 0) name = name.substr(sizeof(kSkinPrefix) - 1);
  if (!s.imageDir.empty() && name.rfind(s.imageDir + "/", 0) == 0)
    name = name.substr(s.imageDir.size() + 1);
  return s.images.count(name) ? PathJoin(s.imageDir, name) : std::string();
}

}  // namespace lumo::toolkit
