#include "library_fuzz/library_damage.hpp"

#include <sys/stat.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "library_fuzz/library_integrity.hpp"
#include "sqlite/sqlite_database.hpp"
#include "sqlite/sqlite_statement.hpp"

namespace lumenfolio::fuzz {
namespace fs = std::filesystem;
using sample::SampleRandom;
namespace {

constexpr std::uintmax_t kHeaderSize = 100;     // the database header on page 1
constexpr std::uintmax_t kWalHeaderSize = 32;   // before the first frame
constexpr std::uintmax_t kPageHeaderSize = 12;  // an interior b-tree page's header
constexpr std::uintmax_t kDefaultPageSize = 4096;

fs::path withSuffix(const fs::path& file, const char* suffix) {
  fs::path side = file;
  side += suffix;
  return side;
}

std::string nameIn(const fs::path& file, const fs::path& package) {
  return fs::relative(file, package).string();
}

bool isRegular(const fs::path& file) {
  return fs::is_regular_file(fs::symlink_status(file));
}

std::string readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::string garbage(SampleRandom& random, std::size_t size) {
  std::string bytes(size, '\0');
  for (auto& byte : bytes) byte = static_cast<char>(random.next());
  return bytes;
}

std::size_t below(SampleRandom& random, std::uintmax_t bound) {
  return static_cast<std::size_t>(random.next() % bound);
}

fs::path someDatabase(const fs::path& package, SampleRandom& random) {
  return package / random.pick(LibraryIntegrity::databases());
}

// The package's non-empty regular database files, side files included.
std::vector<fs::path> filesWithBytes(const fs::path& package) {
  std::vector<fs::path> files;
  for (const auto& database : LibraryIntegrity::databases()) {
    for (const char* suffix : {"", "-wal", "-shm"}) {
      const auto file = withSuffix(package / database, suffix);
      if (isRegular(file) && fs::file_size(file) > 0) files.push_back(file);
    }
  }
  return files;
}

std::uintmax_t pageSizeOf(const std::string& bytes) {
  if (bytes.size() < kHeaderSize) return kDefaultPageSize;
  const auto high = static_cast<unsigned char>(bytes[16]);
  const auto low = static_cast<unsigned char>(bytes[17]);
  const std::uintmax_t size = (high << 8) | low;
  if (size == 1) return 65536;
  return size >= 512 ? size : kDefaultPageSize;
}

std::string flipBytesAt(const fs::path& file, std::vector<std::size_t> offsets,
                        SampleRandom& random) {
  auto bytes = readAll(file);
  std::string where;
  for (const auto offset : offsets) {
    if (offset >= bytes.size()) continue;
    bytes[offset] = static_cast<char>(bytes[offset] ^ random.between(1, 255));
    if (!where.empty()) where += ',';
    where += std::to_string(offset);
  }
  writeAll(file, bytes);
  return where;
}

std::string flipBytes(const fs::path& package, SampleRandom& random) {
  const auto files = filesWithBytes(package);
  if (files.empty()) return "nothing to flip";
  const auto file = random.pick(files);
  const auto size = fs::file_size(file);
  std::vector<std::size_t> offsets(static_cast<std::size_t>(random.between(1, 8)));
  for (auto& offset : offsets) offset = below(random, size);
  return "flipped bytes of " + nameIn(file, package) + " at " + flipBytesAt(file, offsets, random);
}

// The database header, a page's b-tree header or the log's own header.
std::string flipHeader(const fs::path& package, SampleRandom& random) {
  const auto database = someDatabase(package, random);
  const auto wal = withSuffix(database, "-wal");
  if (isRegular(wal) && random.chance(0.3)) {
    return "flipped the header of " + nameIn(wal, package) + " at " +
           flipBytesAt(wal, {below(random, kWalHeaderSize)}, random);
  }
  if (!isRegular(database)) return "no header to flip in " + nameIn(database, package);
  const auto bytes = readAll(database);
  const auto pageSize = pageSizeOf(bytes);
  const auto pages = std::max<std::uintmax_t>(1, bytes.size() / pageSize);
  const auto page = random.chance(0.4) ? 0 : below(random, pages);
  const auto start = page * pageSize + (page == 0 ? (random.chance(0.5) ? 0 : kHeaderSize) : 0);
  const auto span = page == 0 && start == 0 ? kHeaderSize : kPageHeaderSize;
  return "flipped the header of page " + std::to_string(page + 1) + " of " +
         nameIn(database, package) + " at " +
         flipBytesAt(database, {start + below(random, span)}, random);
}

std::string truncate(const fs::path& package, SampleRandom& random) {
  const auto files = filesWithBytes(package);
  if (files.empty()) return "nothing to truncate";
  const auto file = random.pick(files);
  const auto size = fs::file_size(file);
  const auto cut = random.chance(0.3) ? 1 : 1 + below(random, size);
  fs::resize_file(file, size - cut);
  return "cut " + std::to_string(cut) + " of " + std::to_string(size) + " bytes off " +
         nameIn(file, package);
}

struct Column {
  std::string table;
  std::string name;
  std::string type;
};

std::string quoted(const std::string& name) {
  return "\"" + name + "\"";
}

std::vector<Column> columnsOf(const SqliteDatabase& db) {
  SqliteStatement select(db,
                         "SELECT m.name, p.name, p.type FROM sqlite_schema AS m"
                         " JOIN pragma_table_info(m.name) AS p"
                         " WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite_%'"
                         " ORDER BY m.name, p.cid");
  std::vector<Column> columns;
  while (select && select.stepResult() == SQLITE_ROW) {
    columns.push_back({std::string(select.columnText(0).value_or("")),
                       std::string(select.columnText(1).value_or("")),
                       std::string(select.columnText(2).value_or(""))});
  }
  return columns;
}

// Runs statements drawn by `draw` on one database of the package, opened for
// writing, and says which it ran and what SQLite answered.
std::string changeDatabase(
    const fs::path& package, SampleRandom& random,
    const std::function<std::string(const std::vector<Column>&, SampleRandom&)>& draw) {
  const auto database = someDatabase(package, random);
  const auto name = nameIn(database, package);
  if (!isRegular(database)) return name + " is not there to change";
  const auto db = SqliteDatabase::open(database.string(), SQLITE_OPEN_READWRITE);
  const auto columns = columnsOf(db);
  if (columns.empty()) return name + " has no tables to change";
  const auto sql = draw(columns, random);
  const auto result = db.exec(sql);
  return name + ": " + sql +
         (result == SQLITE_OK ? ""
                              : " (refused: " + std::string(sqlite3_errmsg(db.handle())) + ")");
}

std::string someRows(SampleRandom& random) {
  const auto every = random.between(1, 4);
  return " WHERE rowid % " + std::to_string(every) + " = " +
         std::to_string(random.between(0, every - 1));
}

std::string update(const Column& column, const std::string& value, SampleRandom& random) {
  return "UPDATE " + quoted(column.table) + " SET " + quoted(column.name) + " = " + value +
         someRows(random);
}

std::string dropTable(const fs::path& package, SampleRandom& random) {
  return changeDatabase(package, random, [](const auto& columns, SampleRandom& random) {
    return "DROP TABLE " + quoted(random.pick(columns).table);
  });
}

// SQLite refuses to drop a key or indexed column; renaming it hides it as well.
std::string dropColumn(const fs::path& package, SampleRandom& random) {
  return changeDatabase(package, random, [](const auto& columns, SampleRandom& random) {
    const auto& column = random.pick(columns);
    const auto table = "ALTER TABLE " + quoted(column.table);
    if (random.chance(0.5)) return table + " DROP COLUMN " + quoted(column.name);
    return table + " RENAME COLUMN " + quoted(column.name) + " TO " + quoted(column.name + "_OLD");
  });
}

std::string nullValues(const fs::path& package, SampleRandom& random) {
  return changeDatabase(package, random, [](const auto& columns, SampleRandom& random) {
    return update(random.pick(columns), "NULL", random);
  });
}

std::string wrongTypes(const fs::path& package, SampleRandom& random) {
  static const std::vector<std::string> kValues{
      "'not a number'",      "X'DEADBEEF'", "-1", "1e308", "-1e308",   "-9223372036854775808",
      "9223372036854775807", "0.5",         "''", "X''",   "4.9e-324", "'0x7FFFFFFF'"};
  return changeDatabase(package, random, [](const auto& columns, SampleRandom& random) {
    return update(random.pick(columns), random.pick(kValues), random);
  });
}

std::string hugeValues(const fs::path& package, SampleRandom& random) {
  return changeDatabase(package, random, [](const auto& columns, SampleRandom& random) {
    const auto size = std::to_string(random.between(1, 8) << 20);
    const auto value =
        random.chance(0.5) ? "zeroblob(" + size + ")" : "printf('%." + size + "c', 'w')";
    return update(random.pick(columns), value, random);
  });
}

// Overlong forms, a surrogate, bytes never valid, a sequence cut short, a lone
// continuation byte and an embedded NUL.
std::string invalidUtf8(const fs::path& package, SampleRandom& random) {
  static const std::vector<std::string> kBytes{"C080", "EDA080",   "FFFE",       "F4908080",
                                               "E282", "41800042", "6100620063", "C328"};
  return changeDatabase(package, random, [](const auto& columns, SampleRandom& random) {
    std::vector<Column> texts;
    for (const auto& column : columns) {
      if (column.type.find("CHAR") != std::string::npos || column.type == "TEXT") {
        texts.push_back(column);
      }
    }
    const auto& column = random.pick(texts.empty() ? columns : texts);
    return update(column, "CAST(X'" + random.pick(kBytes) + "' AS TEXT)", random);
  });
}

std::string garbageSideFile(const fs::path& package, SampleRandom& random) {
  const auto side = withSuffix(someDatabase(package, random), random.chance(0.6) ? "-wal" : "-shm");
  const auto name = nameIn(side, package);
  const auto size = static_cast<std::size_t>(random.between(1, 40000));
  if (isRegular(side) && random.chance(0.4)) {
    std::ofstream(side, std::ios::binary | std::ios::app) << garbage(random, size);
    return "appended " + std::to_string(size) + " bytes of garbage to " + name;
  }
  fs::remove(side);
  writeAll(side, garbage(random, size));
  return "wrote " + std::to_string(size) + " bytes of garbage as " + name;
}

std::string removeFile(const fs::path& package, SampleRandom& random) {
  static const std::vector<const char*> kSuffixes{"-wal", "-wal", "-shm", "-shm", ""};
  const auto file = withSuffix(someDatabase(package, random), random.pick(kSuffixes));
  return (fs::remove(file) ? "removed " : "found nothing to remove at ") + nameIn(file, package);
}

// A database or one of its side files replaced by something that is no file;
// a "-journal", which a package rarely holds, is put where there was none.
std::string replaceFile(const fs::path& package, SampleRandom& random) {
  static const std::vector<const char*> kSuffixes{"", "", "-wal", "-shm", "-journal"};
  const auto file = withSuffix(someDatabase(package, random), random.pick(kSuffixes));
  const auto name = nameIn(file, package);
  fs::remove(file);
  switch (random.between(0, 2)) {
    case 0:
      fs::create_directory(file);
      return "replaced " + name + " by a folder";
    case 1:
      if (::mkfifo(file.c_str(), 0600) != 0) throw std::runtime_error("mkfifo " + file.string());
      return "replaced " + name + " by a fifo";
    default:
      fs::create_symlink("/dev/zero", file);
      return "replaced " + name + " by a link to /dev/zero";
  }
}

using Damage = std::string (*)(const fs::path&, SampleRandom&);

// Byte-level damage is drawn more often: it reaches the most code paths.
const std::vector<Damage>& damages() {
  static const std::vector<Damage> kDamages{
      flipBytes,  flipBytes,   flipHeader,      flipHeader,     truncate,   truncate,
      dropTable,  dropColumn,  nullValues,      wrongTypes,     hugeValues, invalidUtf8,
      removeFile, replaceFile, garbageSideFile, garbageSideFile};
  return kDamages;
}

}  // namespace

std::string LibraryDamage::applyTo(const fs::path& package, SampleRandom& random) {
  return random.pick(damages())(package, random);
}

}  // namespace lumenfolio::fuzz
