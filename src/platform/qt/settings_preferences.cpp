#include "platform/qt/settings_preferences.hpp"

#include <fcntl.h>

#include <QByteArray>
#include <QFile>
#include <QLocale>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QVariant>
#include <cerrno>
#include <cstring>
#include <type_traits>

#include "base/unique_fd.hpp"

namespace lumenfolio {

namespace {

const QString kBytes = QStringLiteral("bytes");
const QString kText = QStringLiteral("text");
const QString kDate = QStringLiteral("date");
const QString kInteger = QStringLiteral("integer");
const QString kReal = QStringLiteral("real");
const QString kFlag = QStringLiteral("flag");

QString qtKey(const std::string& key) {
  return QString::fromStdString(key);
}

QString shortestDecimal(double number) {
  return QString::number(number, 'g', QLocale::FloatingPointShortest);
}

QString tagged(const QString& kind, const QString& payload) {
  return kind + u':' + payload;
}

QString encoded(const PreferenceValue& value) {
  return std::visit(
      [](const auto& held) {
        using Held = std::decay_t<decltype(held)>;
        if constexpr (std::is_same_v<Held, Bytes>) {
          const QByteArray bytes(reinterpret_cast<const char*>(held.data()),
                                 static_cast<qsizetype>(held.size()));
          return tagged(kBytes, QString::fromLatin1(bytes.toBase64()));
        } else if constexpr (std::is_same_v<Held, std::string>) {
          return tagged(kText, QString::fromStdString(held));
        } else if constexpr (std::is_same_v<Held, PreferenceDate>) {
          return tagged(kDate, shortestDecimal(held.secondsSince1970));
        } else if constexpr (std::is_same_v<Held, std::int64_t>) {
          return tagged(kInteger, QString::number(static_cast<qint64>(held)));
        } else if constexpr (std::is_same_v<Held, double>) {
          return tagged(kReal, shortestDecimal(held));
        } else {
          static_assert(std::is_same_v<Held, bool>);
          return tagged(kFlag, held ? QStringLiteral("true") : QStringLiteral("false"));
        }
      },
      value);
}

std::optional<Bytes> decodedBytes(const QString& payload) {
  const auto result =
      QByteArray::fromBase64Encoding(payload.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  if (!result) return std::nullopt;
  return Bytes(result.decoded.begin(), result.decoded.end());
}

std::optional<double> decodedReal(const QString& payload) {
  bool ok = false;
  const double number = payload.toDouble(&ok);
  if (!ok) return std::nullopt;
  return number;
}

std::optional<PreferenceValue> decoded(const QString& stored) {
  const auto colon = stored.indexOf(u':');
  const auto kind = stored.left(colon);
  const auto payload = stored.mid(colon + 1);
  if (colon < 0 || kind == kText) return payload.toStdString();
  if (kind == kBytes) {
    if (auto bytes = decodedBytes(payload)) return PreferenceValue(std::move(*bytes));
    return std::nullopt;
  }
  if (kind == kDate) {
    // "nan", "inf" or 1e300 parse as numbers but name no moment in time.
    const auto seconds = decodedReal(payload);
    if (seconds && PreferenceDate{*seconds}.isPlausible()) {
      return PreferenceValue(PreferenceDate{*seconds});
    }
    return std::nullopt;
  }
  if (kind == kReal) {
    if (auto number = decodedReal(payload)) return PreferenceValue(*number);
    return std::nullopt;
  }
  if (kind == kInteger) {
    bool ok = false;
    const qint64 number = payload.toLongLong(&ok);
    if (!ok) return std::nullopt;
    return PreferenceValue(static_cast<std::int64_t>(number));
  }
  if (kind == kFlag) {
    if (payload == u"true") return PreferenceValue(true);
    if (payload == u"false") return PreferenceValue(false);
    return std::nullopt;
  }
  // Not one of ours: a value written by hand, kept as the text it is.
  return stored.toStdString();
}

// QSettings only tells that a sync failed; the system says why. QSettings
// replaces the file through a new file beside it, so that is what is tried.
std::string whyNotSaved(const std::filesystem::path& file, QSettings::Status status) {
  std::error_code error;
  if (std::filesystem::is_directory(file, error)) return std::strerror(EISDIR);
  const auto folder = file.parent_path();
  const UniqueFd probe(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
  if (!probe && errno != EOPNOTSUPP && errno != EISDIR) return std::strerror(errno);
  return status == QSettings::FormatError ? "the file could not be written in its format"
                                          : "the file could not be written";
}

}  // namespace

std::filesystem::path SettingsPreferences::defaultPath() {
  const auto configFolder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return std::filesystem::path(QFile::encodeName(configFolder).toStdString()) / "lumenfolio" /
         "exporter.conf";
}

SettingsPreferences::SettingsPreferences() : SettingsPreferences(defaultPath()) {}

SettingsPreferences::SettingsPreferences(const std::filesystem::path& file)
    : path_(file), settings_(openSettings()) {}

SettingsPreferences::~SettingsPreferences() = default;

std::unique_ptr<QSettings> SettingsPreferences::openSettings() const {
  return std::make_unique<QSettings>(QFile::decodeName(QByteArray::fromStdString(path_)),
                                     QSettings::IniFormat);
}

std::optional<PreferenceValue> SettingsPreferences::value(const std::string& key) const {
  const std::lock_guard lock(mutex_);
  settings_->sync();
  const auto stored = settings_->value(qtKey(key));
  if (!stored.isValid()) return std::nullopt;
  return decoded(stored.toString());
}

void SettingsPreferences::setValue(const std::string& key, const PreferenceValue& value) {
  const std::lock_guard lock(mutex_);
  startChange();
  const auto before = settings_->value(qtKey(key));
  settings_->setValue(qtKey(key), encoded(value));
  syncChange(key, before);
}

void SettingsPreferences::remove(const std::string& key) {
  const std::lock_guard lock(mutex_);
  startChange();
  const auto before = settings_->value(qtKey(key));
  settings_->remove(qtKey(key));
  syncChange(key, before);
}

void SettingsPreferences::startChange() {
  // A QSettings keeps the first error it met for good, one met while reading
  // included; a change is judged by a QSettings that has met none.
  if (settings_->status() != QSettings::NoError) settings_ = openSettings();
}

void SettingsPreferences::syncChange(const std::string& key, const QVariant& before) {
  settings_->sync();
  const auto status = settings_->status();
  if (status == QSettings::NoError) return;
  // Qt keeps the contents of each settings file for the whole process, unsaved
  // changes included; the change is taken back, so nobody reads a value that
  // is not stored.
  if (before.isValid()) {
    settings_->setValue(qtKey(key), before);
  } else {
    settings_->remove(qtKey(key));
  }
  throw PreferencesError("Couldn't save the settings in " + path_.string() + ": " +
                         whyNotSaved(path_, status));
}

}  // namespace lumenfolio
