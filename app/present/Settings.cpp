#include "present/Settings.h"

namespace halvetrop::present {

int requiredCopiesFrom(const QVariant& stored) {
    bool ok = false;
    const qlonglong n = stored.toString().trimmed().toLongLong(&ok);
    if (!ok || n < 1) return 2;
    return n > 3 ? 3 : int(n);
}

bool flagFrom(const QVariant& stored) {
    if (stored.typeId() == QMetaType::Bool) return stored.toBool();
    const QString text = stored.toString().trimmed();
    return text.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0 || text == QLatin1String("1");
}

}  // namespace halvetrop::present
