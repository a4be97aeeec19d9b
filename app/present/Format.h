#pragma once
// Numbers, byte counts and dates as the screens print them, in the given locale (the tests pin
// en_US). Days stay calendar dates: they are formatted at noon UTC, so no time zone moves them.
#include <QLocale>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <string_view>

#include "text/Dates.h"

namespace halvetrop::present {

// Bytes of a name or path as shown: ill-formed UTF-8 and control characters become U+FFFD.
QString displayText(std::string_view bytes);

// Decimal units in the file style: "Zero KB", "1 byte", "999 bytes", "1 KB", "1.5 MB", "64.02 GB"
// (KB without decimals, MB one, GB and above two, trailing zeros dropped).
QString byteCount(int64_t bytes, const QLocale& locale = QLocale());

// A name as sentences quote it: between curly quotation marks.
QString quoted(const QString& name);

// A count with the locale's digit grouping.
QString count(int64_t n, const QLocale& locale = QLocale());
// The word that agrees with a count: `one` for exactly 1, `other` for every other count, 0 too.
QString agree(int64_t n, const QString& one, const QString& other);
// A grouped count and the word that agrees with it: "0 files", "1 file", "1,234 files".
QString counted(int64_t n, const QString& one, const QString& other, const QLocale& locale = QLocale());
// A grouped count of files, singular for one: "1 file", "1,234 files".
QString fileCount(int64_t n, const QLocale& locale = QLocale());
// Items joined as an English sentence joins them ("photos and videos", "A, B, and C"), in the
// locale's form where it is an English one. The sentences around them are English: a locale of
// another language, or the C locale (which joins with bare commas), joins them as en_US does.
QString listText(const QStringList& items, const QLocale& locale = QLocale());

enum class UnitStyle { abbreviated, wide };

// The date formatters of one locale, made once: lists of rows format many dates.
class DateTexts {
public:
    explicit DateTexts(const QLocale& locale = QLocale());
    ~DateTexts();
    DateTexts(const DateTexts&) = delete;
    DateTexts& operator=(const DateTexts&) = delete;

    // "yyyy-MM-dd" in the locale's abbreviated (or complete) date style; a text that is no valid
    // day comes back unchanged.
    QString shortDay(const QString& day) const;
    QString longDay(const QString& day) const;
    // How long ago `then` was, seen from `now`, with named days ("yesterday") where the locale has them,
    // in the language of the sentences it is said in (English, as listText).
    QString relative(TimeNs then, TimeNs now, UnitStyle style) const;

private:
    struct Formatters;
    std::unique_ptr<Formatters> f_;
};

QString shortDay(const QString& day, const QLocale& locale = QLocale());
QString longDay(const QString& day, const QLocale& locale = QLocale());
QString relativeDate(TimeNs then, TimeNs now, UnitStyle style, const QLocale& locale = QLocale());
// How long after `now` the relative date of `then` may read differently: the next whole unit of
// its age (a minute, an hour, …), or where the next larger unit takes over.
TimeNs untilRelativeChange(TimeNs then, TimeNs now);

}  // namespace halvetrop::present
