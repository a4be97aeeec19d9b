#include "present/Format.h"

#include "text/Utf8.h"

#include <unicode/datefmt.h>
#include <unicode/numberformatter.h>
#include <unicode/reldatefmt.h>
#include <unicode/timezone.h>

#include <QDate>

#include <array>
#include <cmath>
#include <memory>

namespace halvetrop::present {

namespace {

icu::Locale icuLocale(const QLocale& locale) { return icu::Locale(locale.bcp47Name().toUtf8().constData()); }

QString fromIcu(const icu::UnicodeString& text) {
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

QString decimal(double value, int maxFraction, const QLocale& locale) {
    UErrorCode status = U_ZERO_ERROR;
    auto formatted = icu::number::NumberFormatter::withLocale(icuLocale(locale))
                         .precision(icu::number::Precision::maxFraction(maxFraction))
                         .roundingMode(UNUM_ROUND_HALFUP)
                         .formatDouble(value, status);
    if (U_FAILURE(status)) return QString::number(value, 'f', maxFraction);
    return fromIcu(formatted.toString(status));
}

// The locale of the application's sentences, which are English: the locale's own where it is an
// English one, else en_US (the C locale too, which joins lists with bare commas).
QLocale sentenceLocale(const QLocale& locale) {
    return locale.language() == QLocale::English ? locale : QLocale(QLocale::English, QLocale::UnitedStates);
}

QDateTime noonOf(const QString& day) {
    const QDate date = QDate::fromString(day, QStringLiteral("yyyy-MM-dd"));
    // fromString accepts single-digit fields; the stored form is exactly ten characters.
    if (!date.isValid() || day.size() != 10) return {};
    return QDateTime(date, QTime(12, 0), Qt::UTC);
}

}  // namespace

QString displayText(std::string_view bytes) {
    QString text = QString::fromStdString(repairUtf8(bytes));
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control) c = QChar(0xFFFD);
    return text;
}

QString byteCount(int64_t bytes, const QLocale& locale) {
    if (bytes == 0) return QStringLiteral("Zero KB");
    if (bytes == 1) return QStringLiteral("1 byte");
    if (bytes > -1000 && bytes < 1000) return decimal(double(bytes), 0, locale) + QStringLiteral(" bytes");
    static constexpr std::array<const char*, 6> units{"KB", "MB", "GB", "TB", "PB", "EB"};
    const double magnitude = std::fabs(double(bytes));
    double scale = 1000.0;
    for (size_t i = 0; i < units.size(); ++i, scale *= 1000.0) {
        const int fraction = i == 0 ? 0 : i == 1 ? 1 : 2;
        const double value = magnitude / scale;
        const double step = std::pow(10.0, fraction);
        // A value that rounds up to 1000 of this unit is shown in the next one ("1 MB", not "1000 KB").
        if (std::floor(value * step + 0.5) / step < 1000.0 || i + 1 == units.size())
            return decimal(bytes < 0 ? -value : value, fraction, locale) + QLatin1Char(' ') +
                   QLatin1String(units[i]);
    }
    return {};
}

QString count(int64_t n, const QLocale& locale) { return locale.toString(qlonglong(n)); }

QString quoted(const QString& name) { return u'\u201C' + name + u'\u201D'; }

QString agree(int64_t n, const QString& one, const QString& other) { return n == 1 ? one : other; }

QString counted(int64_t n, const QString& one, const QString& other, const QLocale& locale) {
    return count(n, locale) + QLatin1Char(' ') + agree(n, one, other);
}

QString fileCount(int64_t n, const QLocale& locale) {
    return counted(n, QStringLiteral("file"), QStringLiteral("files"), locale);
}

QString listText(const QStringList& items, const QLocale& locale) {
    return sentenceLocale(locale).createSeparatedList(items);
}

struct DateTexts::Formatters {
    std::unique_ptr<icu::DateFormat> medium, full;
    std::unique_ptr<icu::RelativeDateTimeFormatter> wide, abbreviated;
};

DateTexts::DateTexts(const QLocale& locale) : f_(std::make_unique<Formatters>()) {
    const icu::Locale loc = icuLocale(locale);
    f_->medium.reset(icu::DateFormat::createDateInstance(icu::DateFormat::kMedium, loc));
    f_->full.reset(icu::DateFormat::createDateInstance(icu::DateFormat::kFull, loc));
    for (auto* format : {f_->medium.get(), f_->full.get()})
        if (format) format->adoptTimeZone(icu::TimeZone::createTimeZone("UTC"));
    // A relative date is said within a sentence ("Checked 3 minutes ago."): in its language.
    const icu::Locale said = icuLocale(sentenceLocale(locale));
    UErrorCode status = U_ZERO_ERROR;
    f_->wide = std::make_unique<icu::RelativeDateTimeFormatter>(said, nullptr, UDAT_STYLE_LONG,
                                                                UDISPCTX_CAPITALIZATION_NONE, status);
    if (U_FAILURE(status)) f_->wide.reset();
    status = U_ZERO_ERROR;
    f_->abbreviated = std::make_unique<icu::RelativeDateTimeFormatter>(said, nullptr, UDAT_STYLE_SHORT,
                                                                       UDISPCTX_CAPITALIZATION_NONE, status);
    if (U_FAILURE(status)) f_->abbreviated.reset();
}

DateTexts::~DateTexts() = default;

QString DateTexts::shortDay(const QString& day) const {
    const QDateTime noon = noonOf(day);
    if (!noon.isValid() || !f_->medium) return day;
    icu::UnicodeString out;
    f_->medium->format(static_cast<UDate>(noon.toMSecsSinceEpoch()), out);
    return fromIcu(out);
}

QString DateTexts::longDay(const QString& day) const {
    const QDateTime noon = noonOf(day);
    if (!noon.isValid() || !f_->full) return day;
    icu::UnicodeString out;
    f_->full->format(static_cast<UDate>(noon.toMSecsSinceEpoch()), out);
    return fromIcu(out);
}

namespace {

struct RelativeUnit {
    int64_t seconds;
    URelativeDateTimeUnit unit;
};
// The units a relative date counts in, smallest first; below the first it says "now".
constexpr std::array<RelativeUnit, 6> relativeUnits{{{60, UDAT_REL_UNIT_MINUTE},
                                                     {3600, UDAT_REL_UNIT_HOUR},
                                                     {86400, UDAT_REL_UNIT_DAY},
                                                     {7 * 86400, UDAT_REL_UNIT_WEEK},
                                                     {30 * 86400, UDAT_REL_UNIT_MONTH},
                                                     {365 * 86400, UDAT_REL_UNIT_YEAR}}};

}  // namespace

QString DateTexts::relative(TimeNs then, TimeNs now, UnitStyle style) const {
    const auto* format = style == UnitStyle::wide ? f_->wide.get() : f_->abbreviated.get();
    if (!format) return {};
    constexpr TimeNs second = 1'000'000'000;
    UErrorCode status = U_ZERO_ERROR;
    // Whole nanoseconds, so the text changes exactly where untilRelativeChange says it does.
    const TimeNs distance = then - now;
    const TimeNs ago = distance < 0 ? -distance : distance;
    icu::UnicodeString out;
    if (ago < relativeUnits.front().seconds * second) {
        format->format(UDAT_DIRECTION_PLAIN, UDAT_ABSOLUTE_NOW, out, status);
        return U_FAILURE(status) ? QString() : fromIcu(out);
    }
    // The largest unit the distance reaches, counted in whole units towards zero.
    RelativeUnit chosen = relativeUnits.front();
    for (const auto& u : relativeUnits)
        if (ago >= u.seconds * second) chosen = u;
    format->format(double(distance / (chosen.seconds * second)), chosen.unit, out, status);
    return U_FAILURE(status) ? QString() : fromIcu(out);
}

TimeNs untilRelativeChange(TimeNs then, TimeNs now) {
    constexpr TimeNs second = 1'000'000'000;
    const TimeNs minute = relativeUnits.front().seconds * second;
    const TimeNs age = now - then;
    // A time ahead of the clock says "now" or "in …": look again in a minute.
    if (age < 0) return minute;
    TimeNs next = minute;
    for (const auto& u : relativeUnits) {
        const TimeNs unit = u.seconds * second;
        if (age >= unit) {
            next = (age / unit + 1) * unit;  // the count of the largest unit reached goes up
        } else {
            next = std::min(next, unit);  // or the next unit takes over first
            break;
        }
    }
    return next - age;
}

QString shortDay(const QString& day, const QLocale& locale) { return DateTexts(locale).shortDay(day); }

QString longDay(const QString& day, const QLocale& locale) { return DateTexts(locale).longDay(day); }

QString relativeDate(TimeNs then, TimeNs now, UnitStyle style, const QLocale& locale) {
    return DateTexts(locale).relative(then, now, style);
}

}  // namespace halvetrop::present
