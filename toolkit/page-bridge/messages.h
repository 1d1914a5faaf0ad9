#pragma once

// What the page bridge in WebKit's web processes and the browser host in Lumo say to each
// other. Every parameter is a GVariant string (or two), never a script value, so Lumo's own
// process never runs a script engine of its own for the store's pages.
namespace lumo::toolkit::bridge {

// The world that holds the bridge's scripts; the pages' scripts cannot reach into it.
inline constexpr char kWorld[] = "lumo";
// Web process to Lumo, "FRAME\nMETHOD\nxs" or "FRAME\nMETHOD\nsARGUMENT": a frame called
// window.external.METHOD, with no text argument (x) or with one (s).
inline constexpr char kCall[] = "lumo-call";
// Web process to Lumo, "FRAME\nSEEN": a store frame asks for the games' states newer than
// number SEEN. Lumo replies with the same name and "VERSION\nTEXT" once it has them, or
// with kRefused and the reason.
inline constexpr char kGames[] = "lumo-games";
inline constexpr char kRefused[] = "lumo-refused";
// Lumo to the web process, (URL, PAGE): show PAGE in the main frame's frames that load URL.
inline constexpr char kFrameError[] = "lumo-frame-error";
// The file in the bridge's folder.
inline constexpr char kModule[] = "liblumo-page-bridge.so";

}  // namespace lumo::toolkit::bridge
