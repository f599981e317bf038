#pragma once

#include <QString>
#include <QUrl>

#include <functional>

// The maker's web site, set at build time (CMake cache variable VD_SUPPORT_URL).
[[nodiscard]] QString supportAddress();

// Hands an https address to `open` (the desktop's browser in production). An address that does
// not parse as an absolute https URL does nothing. Returns whether it was handed over.
bool openSupportAddress(const QString& address, const std::function<bool(const QUrl&)>& open);
