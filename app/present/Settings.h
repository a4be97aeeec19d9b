#pragma once
// The three settings the Settings window writes and a check reads, and how a stored value is read:
// a hand-edited or damaged file never gives a value the window cannot show.
#include <QString>
#include <QVariant>

namespace halvetrop::present {

inline const QString requiredCopiesKey = QStringLiteral("requiredCopies");
inline const QString includeSidecarsKey = QStringLiteral("includeSidecars");
inline const QString includeProxiesKey = QStringLiteral("includeProxies");

// 1 to 3; 2 when absent, not a whole number or below 1; 3 when above 3.
int requiredCopiesFrom(const QVariant& stored);
// false unless stored as true: "true" in the INI file (any case) or "1", as a hand edit may write it.
bool flagFrom(const QVariant& stored);

}  // namespace halvetrop::present
