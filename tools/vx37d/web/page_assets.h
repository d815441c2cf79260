#pragma once

#include "web/page_host.h"

namespace vx37::web {

// The panel's page and what it loads, built from the window's control inventory: "/"
// (the page), its script, style, fonts and picture. nullopt for any other path.
std::optional<Asset> pageAsset(const QString& path);

} // namespace vx37::web
