#include "web/page_assets.h"

namespace vx37::web {

std::optional<Asset> pageAsset(const QString& path)
{
    if (path != QStringLiteral("/"))
        return std::nullopt;
    return Asset{"text/html; charset=utf-8", "<!doctype html><title>VX37</title>"};
}

} // namespace vx37::web
