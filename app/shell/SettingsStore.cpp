#include "shell/SettingsStore.h"

#include "present/Settings.h"

namespace halvetrop::shell {

using namespace halvetrop::present;

SettingsStore::SettingsStore(QSettings& settings, QObject* parent) : QObject(parent), settings_(settings) {}

int SettingsStore::requiredCopies() const { return requiredCopiesFrom(settings_.value(requiredCopiesKey)); }

void SettingsStore::setRequiredCopies(int copies) { write(requiredCopiesKey, std::clamp(copies, 1, 3)); }

bool SettingsStore::includeSidecars() const { return flagFrom(settings_.value(includeSidecarsKey)); }

void SettingsStore::setIncludeSidecars(bool on) { write(includeSidecarsKey, on); }

bool SettingsStore::includeProxies() const { return flagFrom(settings_.value(includeProxiesKey)); }

void SettingsStore::setIncludeProxies(bool on) { write(includeProxiesKey, on); }

void SettingsStore::reload() {
    settings_.sync();
    emit changed();
}

void SettingsStore::write(const QString& key, const QVariant& value) {
    settings_.setValue(key, value);
    settings_.sync();
    emit changed();
}

}  // namespace halvetrop::shell
