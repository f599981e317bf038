#include "ui/support_link.h"

QString supportAddress() {
    return QString::fromUtf8(VD_SUPPORT_URL);
}

bool openSupportAddress(const QString& address, const std::function<bool(const QUrl&)>& open) {
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty() || !open) {
        return false;
    }
    // Whether the browser managed is not ours to judge.
    open(url);
    return true;
}
