// pal/registry/store.cpp - the registry store over SQLite (see store.h). The
// only file of the library that uses SQLite: the schema and every statement
// are here.
//
// Schema (PRAGMA application_id kApplicationId, user_version kSchemaVersion):
//   keys(id, parent, name, fold, class, modified)   UNIQUE(parent, fold)
//   vals(id, key, name, fold, type, data)           UNIQUE(key, fold), INDEX(key)
// `name` and `class` are UTF-16LE blobs as given, `fold` the FoldKey blob,
// `modified` a FILETIME value. The (parent, fold) index gives a key's
// sub-keys in the order Windows enumerates them; the (key) index, which
// ends in the row id, gives its values by id. Triggers keep `modified` of a
// key whose values or sub-keys change.
//
// Invariants:
//  - the root key (id kRootKey, parent 0, empty name) exists in every hive;
//  - key ids are never reused (AUTOINCREMENT), so a stale key id is a
//    deleted key;
//  - a new value gets an id above every existing one (SQLite picks the
//    largest id + 1), so id order is creation order; replacing a value
//    updates its row and keeps its id.
//
// Each Hive has a lock, held by every function for its whole run: one
// connection per hive per process, used by one thread at a time. Statements
// are prepared once per connection, on first use, and kept until it closes.
// Between processes, SQLite's locks and WAL mode serialise writers and let
// readers run beside them; a writer that finds the database locked waits
// (busy time-out). Functions that read before they write take the write
// lock first (BEGIN IMMEDIATE), so that no read snapshot goes stale.
//
// The database file is outside data: a file that is not SQLite, a damaged
// one, or an SQLite database without this schema gives ERROR_BADDB and is
// never written to; every row read is checked only for what is used
// (blob lengths), so damaged contents read as odd names, never a crash.
#include "pal/registry/store.h"

#include <sqlite3.h>

#include <bit>
#include <cstring>

#include "pal/registry/fold.h"
#include "pal/sync.h"

static_assert(std::endian::native == std::endian::little,
              "names are stored as UTF-16LE straight from memory");

namespace zrpal::registry {

namespace {

constexpr int kApplicationId = 0x5A524547;  // "ZREG"
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 10000;

// FILETIME now (100 ns units since 1601-01-01, the Julian day 2305813.5),
// from SQLite's clock: millisecond resolution.
#define ZR_REG_NOW "CAST((julianday('now') - 2305813.5) * 864000000000.0 AS INTEGER)"
#define ZR_REG_TOUCH(id) "UPDATE keys SET modified = " ZR_REG_NOW " WHERE id = " id "; "

constexpr const char* kSchema =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL, "
    "name BLOB NOT NULL, fold BLOB NOT NULL, class BLOB NOT NULL, modified INTEGER NOT NULL, "
    "UNIQUE(parent, fold));"
    "CREATE TABLE vals(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name BLOB NOT NULL, "
    "fold BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, fold));"
    "CREATE INDEX vals_by_key ON vals(key);"
    "CREATE TRIGGER key_added AFTER INSERT ON keys BEGIN " ZR_REG_TOUCH("NEW.parent") "END;"
    "CREATE TRIGGER key_removed AFTER DELETE ON keys BEGIN " ZR_REG_TOUCH("OLD.parent") "END;"
    "CREATE TRIGGER value_added AFTER INSERT ON vals BEGIN " ZR_REG_TOUCH("NEW.key") "END;"
    "CREATE TRIGGER value_changed AFTER UPDATE ON vals BEGIN " ZR_REG_TOUCH("NEW.key") "END;"
    "CREATE TRIGGER value_removed AFTER DELETE ON vals BEGIN " ZR_REG_TOUCH("OLD.key") "END;"
    "INSERT INTO keys(id, parent, name, fold, class, modified) "
    "VALUES (1, 0, x'', x'', x'', " ZR_REG_NOW ");"
    "PRAGMA application_id = 1515341127;"  // kApplicationId
    "PRAGMA user_version = 1;";            // kSchemaVersion

constexpr const char* kReadHeader =
    "SELECT (SELECT application_id FROM pragma_application_id), "
    "(SELECT user_version FROM pragma_user_version), (SELECT count(*) FROM sqlite_schema)";

enum Stmt : int {
  kFindChild,
  kKeyExists,
  kInsertKey,
  kHasChildren,
  kDeleteValuesOf,
  kDeleteKey,
  kSetValue,
  kQueryValue,
  kDeleteValue,
  kEnumKey,
  kEnumValue,
  kKeyInfo,
  kBegin,
  kCommit,
  kRollback,
  kStmtCount
};

constexpr const char* kSql[kStmtCount] = {
    "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2",
    "SELECT 1 FROM keys WHERE id = ?1",
    "INSERT INTO keys(parent, name, fold, class, modified) VALUES (?1, ?2, ?3, ?4, " ZR_REG_NOW ")",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "DELETE FROM vals WHERE key = ?1",
    "DELETE FROM keys WHERE id = ?1",
    // The value is written only while its key exists; a replaced value
    // keeps its row (and so its name's case and its place).
    "INSERT INTO vals(key, name, fold, type, data) "
    "SELECT ?1, ?2, ?3, ?4, ?5 WHERE EXISTS (SELECT 1 FROM keys WHERE id = ?1) "
    "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?3",
    "DELETE FROM vals WHERE key = ?1 AND fold = ?2",
    "SELECT name, class, modified FROM keys WHERE parent = ?1 ORDER BY fold LIMIT 1 OFFSET ?2",
    "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2",
    "SELECT k.class, k.modified, "
    "(SELECT count(*) FROM keys WHERE parent = k.id), "
    "(SELECT ifnull(max(length(name)), 0) FROM keys WHERE parent = k.id), "
    "(SELECT ifnull(max(length(class)), 0) FROM keys WHERE parent = k.id), "
    "(SELECT count(*) FROM vals WHERE key = k.id), "
    "(SELECT ifnull(max(length(name)), 0) FROM vals WHERE key = k.id), "
    "(SELECT ifnull(max(length(data)), 0) FROM vals WHERE key = k.id) "
    "FROM keys AS k WHERE k.id = ?1",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
};

// SQLite result codes as Windows registry errors.
DWORD ErrorOf(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return ERROR_SUCCESS;
    // Not a database, damaged, or an SQLite database of another schema
    // (its statements do not prepare).
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT:
    case SQLITE_ERROR:
    case SQLITE_SCHEMA:
    case SQLITE_MISMATCH:
      return ERROR_BADDB;
    case SQLITE_CONSTRAINT:
      return ERROR_REGISTRY_CORRUPT;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    // Another process held the hive past the busy time-out (Windows' own
    // registry never answers this).
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    case SQLITE_FULL:
      return ERROR_DISK_FULL;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_TOOBIG:
      return ERROR_NO_SYSTEM_RESOURCES;
    case SQLITE_CANTOPEN:
      return ERROR_CANTOPEN;
    default:
      return ERROR_REGISTRY_IO_FAILED;
  }
}

}  // namespace

struct Hive {
  CRITICAL_SECTION lock;
  HiveKind kind;
  sqlite3* db;          // null until opened in this process
  std::uint32_t owner;  // the process that opened db
  bool writable;
  sqlite3_stmt* stmts[kStmtCount];
};

namespace {

constinit Hive g_hives[2] = {
    {{}, HiveKind::CurrentUser, nullptr, 0, false, {}},
    {{}, HiveKind::LocalMachine, nullptr, 0, false, {}},
};

// Runs SQL that returns no rows (pragmas, the schema).
int Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

// A file URI for `path`: SQLite reads "%", "?" and "#" as URI syntax.
std::string UriOf(const std::string& path, bool immutable) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = path[0] == '/' ? "file://" : "file:";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '%' || c == '?' || c == '#' || byte < 0x20) {
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 0xF];
    } else {
      uri += c;
    }
  }
  if (immutable) uri += "?immutable=1";
  return uri;
}

int OpenFile(const std::string& path, bool writable, bool immutable, sqlite3** db) {
  const int mode = writable ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
  const int rc = sqlite3_open_v2(
      UriOf(path, immutable).c_str(), db,
      mode | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(*db);
    *db = nullptr;
  }
  return rc;
}

int ReadHeader(sqlite3* db, int* appId, int* version, int* objects) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, kReadHeader, -1, &stmt, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) {
    *appId = sqlite3_column_int(stmt, 0);
    *version = sqlite3_column_int(stmt, 1);
    *objects = sqlite3_column_int(stmt, 2);
    rc = SQLITE_OK;
  }
  sqlite3_finalize(stmt);
  return rc;
}

// Makes the schema in an empty database; another process may be doing the
// same, so the check is repeated under the write lock.
int CreateSchema(sqlite3* db) {
  int rc = Exec(db, "PRAGMA journal_mode = WAL");  // outside a transaction
  if (rc == SQLITE_OK) rc = Exec(db, "BEGIN IMMEDIATE");
  if (rc != SQLITE_OK) return rc;
  int appId = 0, version = 0, objects = 0;
  rc = ReadHeader(db, &appId, &version, &objects);
  if (rc == SQLITE_OK && objects == 0) rc = Exec(db, kSchema);
  if (rc == SQLITE_OK) rc = Exec(db, "COMMIT");
  if (rc != SQLITE_OK) Exec(db, "ROLLBACK");
  return rc;
}

// Checks that `db` is a hive (making the schema in an empty, writable
// file) and sets the connection up. *missing: an empty file that may not be
// written, which reads as an empty hive.
int SetUp(sqlite3* db, bool writable, bool* missing) {
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  int appId = 0, version = 0, objects = 0;
  int rc = ReadHeader(db, &appId, &version, &objects);
  if (rc == SQLITE_OK && appId == 0 && objects == 0) {
    if (!writable) {
      *missing = true;
      return SQLITE_OK;
    }
    rc = CreateSchema(db);
    if (rc == SQLITE_OK) rc = ReadHeader(db, &appId, &version, &objects);
  }
  if (rc != SQLITE_OK) return rc;
  if (appId != kApplicationId || version != kSchemaVersion) return SQLITE_NOTADB;  // foreign
  // The hive's own file: WAL mode (kept in the file), and commits that do
  // not wait for the disk (a transaction survives a killed process; only
  // power loss can undo the last ones).
  if (writable) rc = Exec(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL");
  return rc;
}

// Opens the hive file at `path`. A file that may not be written is opened
// for reading; if its write-ahead log cannot be shared (no right to make
// the shared-memory file beside it) it is read as it stands on disk.
DWORD OpenDatabase(const std::string& path, bool writable, sqlite3** result, bool* missing) {
  *missing = false;
  sqlite3* db = nullptr;
  int rc = OpenFile(path, writable, false, &db);
  // Two processes setting up one new hive at once: switching the journal
  // mode and the first write transaction can answer SQLITE_BUSY without
  // calling the busy handler, so the set-up itself is tried again for as
  // long as the busy time-out lasts.
  constexpr int kSetUpRetryMs = 5;
  for (int waited = 0; rc == SQLITE_OK || (rc & 0xFF) == SQLITE_BUSY; waited += kSetUpRetryMs) {
    rc = SetUp(db, writable, missing);
    if ((rc & 0xFF) != SQLITE_BUSY || waited >= kBusyTimeoutMs) break;
    sqlite3_sleep(kSetUpRetryMs);
  }
  const int primary = rc & 0xFF;
  if (!writable && (primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY)) {
    sqlite3_close(db);
    db = nullptr;
    rc = OpenFile(path, false, true, &db);
    // No file at all: nothing to read, and the process may not make it.
    if ((rc & 0xFF) == SQLITE_CANTOPEN) {
      *missing = true;
      return ERROR_SUCCESS;
    }
    if (rc == SQLITE_OK) rc = SetUp(db, false, missing);
  }
  if (rc != SQLITE_OK || *missing) {
    sqlite3_close(db);
    return ErrorOf(rc);
  }
  *result = db;
  return ERROR_SUCCESS;
}

void CloseDatabase(Hive& h) {
  if (!h.db) return;
  if (h.owner == CurrentProcessId()) {
    for (sqlite3_stmt*& stmt : h.stmts) sqlite3_finalize(stmt);
    sqlite3_close(h.db);
  }
  // A connection made before fork() is the parent's: the child drops it
  // unclosed (closing would touch the parent's locks and files).
  h.db = nullptr;
  for (sqlite3_stmt*& stmt : h.stmts) stmt = nullptr;
}

// One function's use of a hive: its lock, and its database attached.
class Session {
 public:
  explicit Session(Hive* hive) : m_guard(&hive->lock), m_hive(*hive) {
    if (m_hive.db && m_hive.owner != CurrentProcessId()) CloseDatabase(m_hive);
    if (m_hive.db) return;
    std::string path;
    bool writable = false;
    m_error = HiveFilePath(m_hive.kind, &path, &writable);
    if (m_error == ERROR_SUCCESS) m_error = OpenDatabase(path, writable, &m_hive.db, &m_missing);
    if (m_hive.db) {
      m_hive.owner = CurrentProcessId();
      m_hive.writable = writable;
    }
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  DWORD Error() const { return m_error; }
  // No file, and none can be made: an empty root, read-only.
  bool Missing() const { return m_missing; }
  Hive& hive() { return m_hive; }

 private:
  CCriticalSectionGuard m_guard;
  Hive& m_hive;
  DWORD m_error = ERROR_SUCCESS;
  bool m_missing = false;
};

// One run of a cached statement: bound, stepped, and reset when done.
class Query {
 public:
  Query(Hive& h, Stmt which) : m_db(h.db) {
    sqlite3_stmt*& slot = h.stmts[which];
    if (!slot)
      m_rc = sqlite3_prepare_v3(m_db, kSql[which], -1, SQLITE_PREPARE_PERSISTENT, &slot, nullptr);
    m_stmt = slot;
  }
  ~Query() {
    if (!m_stmt) return;
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);  // bound blobs are borrowed
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& Int(int index, std::int64_t value) {
    if (m_rc == SQLITE_OK) m_rc = sqlite3_bind_int64(m_stmt, index, value);
    return *this;
  }
  // An empty blob is bound as a blob of length 0, never as NULL.
  Query& Blob(int index, const void* data, std::size_t size) {
    if (m_rc == SQLITE_OK)
      m_rc = sqlite3_bind_blob64(m_stmt, index, size ? data : "", size, SQLITE_STATIC);
    return *this;
  }
  Query& Text(int index, std::u16string_view text) {
    return Blob(index, text.data(), text.size() * sizeof(WCHAR));
  }
  Query& Fold(int index, std::u16string_view name) {
    FoldKey(name, &m_fold);
    return Blob(index, m_fold.data(), m_fold.size());
  }

  // SQLITE_ROW, SQLITE_DONE, or the error.
  int Step() { return m_rc == SQLITE_OK ? sqlite3_step(m_stmt) : m_rc; }
  int Changes() const { return sqlite3_changes(m_db); }

  std::int64_t Int(int column) const { return sqlite3_column_int64(m_stmt, column); }
  void Bytes(int column, std::vector<BYTE>* out) const {
    const auto* p = static_cast<const BYTE*>(sqlite3_column_blob(m_stmt, column));
    const int n = sqlite3_column_bytes(m_stmt, column);
    out->assign(p, p ? p + n : p);
  }
  // A stored name; an odd last byte (a damaged row) is dropped.
  void Units(int column, std::u16string* out) const {
    const void* p = sqlite3_column_blob(m_stmt, column);
    const std::size_t units = static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)) / 2;
    out->resize(units);
    if (units) std::memcpy(out->data(), p, units * sizeof(WCHAR));
  }

 private:
  sqlite3* m_db;
  sqlite3_stmt* m_stmt = nullptr;
  int m_rc = SQLITE_OK;
  std::string m_fold;
};

// A write transaction, rolled back unless committed.
class Transaction {
 public:
  explicit Transaction(Hive& h) : m_hive(h) {}
  ~Transaction() {
    if (m_open) Query(m_hive, kRollback).Step();
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  DWORD Begin() {
    const int rc = Query(m_hive, kBegin).Step();
    m_open = rc == SQLITE_DONE;
    return ErrorOf(rc);
  }
  DWORD Commit() {
    const int rc = Query(m_hive, kCommit).Step();
    if (rc == SQLITE_DONE) m_open = false;
    return ErrorOf(rc);
  }

 private:
  Hive& m_hive;
  bool m_open = false;
};

// `otherwise` when `key` exists, ERROR_KEY_DELETED when it does not.
DWORD KeyGone(Hive& h, KeyId key, DWORD otherwise) {
  Query q(h, kKeyExists);
  const int rc = q.Int(1, key).Step();
  if (rc == SQLITE_ROW) return otherwise;
  return rc == SQLITE_DONE ? ERROR_KEY_DELETED : ErrorOf(rc);
}

// The child `name` of `parent`: SQLITE_ROW and *child, SQLITE_DONE when
// there is none, or the error.
int FindChild(Hive& h, KeyId parent, std::u16string_view name, KeyId* child) {
  Query q(h, kFindChild);
  const int rc = q.Int(1, parent).Fold(2, name).Step();
  if (rc == SQLITE_ROW) *child = q.Int(0);
  return rc;
}

DWORD Walk(Hive& h, KeyId base, Path path, KeyId* key) {
  KeyId at = base;
  for (const std::u16string_view name : path) {
    const int rc = FindChild(h, at, name, &at);
    if (rc == SQLITE_DONE) return KeyGone(h, base, ERROR_FILE_NOT_FOUND);
    if (rc != SQLITE_ROW) return ErrorOf(rc);
  }
  if (path.empty()) {
    if (const DWORD e = KeyGone(h, base, ERROR_SUCCESS)) return e;
  }
  *key = at;
  return ERROR_SUCCESS;
}

// What a function answers for a hive without a file, where only the
// empty root exists.
DWORD MissingHive(KeyId key, DWORD forRoot) {
  return key == kRootKey ? forRoot : ERROR_KEY_DELETED;
}

}  // namespace

Hive* HiveOf(HiveKind kind) { return &g_hives[kind == HiveKind::CurrentUser ? 0 : 1]; }

DWORD HiveWritable(Hive* hive, bool* writable) {
  Session s(hive);
  *writable = !s.Missing() && s.Error() == ERROR_SUCCESS && s.hive().writable;
  return s.Error();
}

DWORD OpenKey(Hive* hive, KeyId base, Path path, KeyId* key) {
  Session s(hive);
  if (s.Error()) return s.Error();
  if (s.Missing()) {
    if (base == kRootKey && path.empty()) *key = kRootKey;
    return MissingHive(base, path.empty() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
  }
  return Walk(s.hive(), base, path, key);
}

DWORD CreateKey(Hive* hive, KeyId base, Path path, std::u16string_view keyClass, bool mayCreate,
                KeyId* key, bool* created) {
  *created = false;
  Session s(hive);
  if (s.Error()) return s.Error();
  if (s.Missing()) {
    if (base == kRootKey && path.empty()) *key = kRootKey;
    return MissingHive(base, path.empty() ? ERROR_SUCCESS : ERROR_ACCESS_DENIED);
  }
  Hive& h = s.hive();
  // Most calls find the key: look without taking the write lock first.
  const DWORD found = Walk(h, base, path, key);
  if (found != ERROR_FILE_NOT_FOUND) return found;
  if (!mayCreate) return ERROR_ACCESS_DENIED;

  Transaction t(h);
  if (const DWORD e = t.Begin()) return e;
  if (const DWORD e = KeyGone(h, base, ERROR_SUCCESS)) return e;
  KeyId at = base;
  bool madeLast = false;
  for (const std::u16string_view name : path) {
    int rc = FindChild(h, at, name, &at);
    madeLast = rc == SQLITE_DONE;
    if (madeLast) {
      Query insert(h, kInsertKey);
      rc = insert.Int(1, at).Text(2, name).Fold(3, name).Text(4, keyClass).Step();
      if (rc != SQLITE_DONE) return ErrorOf(rc);
      at = sqlite3_last_insert_rowid(h.db);
    } else if (rc != SQLITE_ROW) {
      return ErrorOf(rc);
    }
  }
  if (const DWORD e = t.Commit()) return e;
  *created = madeLast;
  *key = at;
  return ERROR_SUCCESS;
}

DWORD DeleteKey(Hive* hive, KeyId key) {
  if (key == kRootKey) return ERROR_ACCESS_DENIED;
  Session s(hive);
  if (s.Error()) return s.Error();
  if (s.Missing()) return ERROR_KEY_DELETED;
  Hive& h = s.hive();
  Transaction t(h);
  if (const DWORD e = t.Begin()) return e;
  if (const DWORD e = KeyGone(h, key, ERROR_SUCCESS)) return e;
  Query children(h, kHasChildren);
  int rc = children.Int(1, key).Step();
  if (rc == SQLITE_ROW) return ERROR_ACCESS_DENIED;
  if (rc != SQLITE_DONE) return ErrorOf(rc);
  rc = Query(h, kDeleteValuesOf).Int(1, key).Step();
  if (rc == SQLITE_DONE) rc = Query(h, kDeleteKey).Int(1, key).Step();
  if (rc != SQLITE_DONE) return ErrorOf(rc);
  return t.Commit();
}

DWORD SetValue(Hive* hive, KeyId key, std::u16string_view name, DWORD type, const BYTE* data,
               DWORD size) {
  Session s(hive);
  if (s.Error()) return s.Error();
  if (s.Missing()) return MissingHive(key, ERROR_ACCESS_DENIED);
  Query q(s.hive(), kSetValue);
  const int rc = q.Int(1, key).Text(2, name).Fold(3, name).Int(4, type).Blob(5, data, size).Step();
  if (rc != SQLITE_DONE) return ErrorOf(rc);
  return q.Changes() ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

DWORD QueryValue(Hive* hive, KeyId key, std::u16string_view name, ValueRow* value) {
  Session s(hive);
  if (s.Error()) return s.Error();
  if (s.Missing()) return MissingHive(key, ERROR_FILE_NOT_FOUND);
  Query q(s.hive(), kQueryValue);
  const int rc = q.Int(1, key).Fold(3, name).Step();
  if (rc == SQLITE_DONE) return KeyGone(s.hive(), key, ERROR_FILE_NOT_FOUND);
  if (rc != SQLITE_ROW) return ErrorOf(rc);
  value->type = static_cast<DWORD>(q.Int(0));
  q.Bytes(1, &value->data);
  return ERROR_SUCCESS;
}

DWORD DeleteValue(Hive* hive, KeyId key, std::u16string_view name) {
  Session s(hive);
  if (s.Error()) return s.Error();
  if (s.Missing()) return MissingHive(key, ERROR_FILE_NOT_FOUND);
  Query q(s.hive(), kDeleteValue);
  const int rc = q.Int(1, key).Fold(2, name).Step();
  if (rc != SQLITE_DONE) return ErrorOf(rc);
  return q.Changes() ? ERROR_SUCCESS : KeyGone(s.hive(), key, ERROR_FILE_NOT_FOUND);
}

DWORD EnumKey(Hive* hive, KeyId key, DWORD index, KeyRow* row) {
  Session s(hive);
  if (s.Error()) return s.Error();
  if (s.Missing()) return MissingHive(key, ERROR_NO_MORE_ITEMS);
  Query q(s.hive(), kEnumKey);
  const int rc = q.Int(1, key).Int(2, index).Step();
  if (rc == SQLITE_DONE) return KeyGone(s.hive(), key, ERROR_NO_MORE_ITEMS);
  if (rc != SQLITE_ROW) return ErrorOf(rc);
  q.Units(0, &row->name);
  q.Units(1, &row->keyClass);
  row->lastWrite = q.Int(2);
  return ERROR_SUCCESS;
}

DWORD EnumValue(Hive* hive, KeyId key, DWORD index, ValueRow* row) {
  Session s(hive);
  if (s.Error()) return s.Error();
  if (s.Missing()) return MissingHive(key, ERROR_NO_MORE_ITEMS);
  Query q(s.hive(), kEnumValue);
  const int rc = q.Int(1, key).Int(2, index).Step();
  if (rc == SQLITE_DONE) return KeyGone(s.hive(), key, ERROR_NO_MORE_ITEMS);
  if (rc != SQLITE_ROW) return ErrorOf(rc);
  q.Units(0, &row->name);
  row->type = static_cast<DWORD>(q.Int(1));
  q.Bytes(2, &row->data);
  return ERROR_SUCCESS;
}

DWORD QueryInfo(Hive* hive, KeyId key, KeyInfo* info) {
  Session s(hive);
  if (s.Error()) return s.Error();
  if (s.Missing()) {
    *info = KeyInfo{};
    return MissingHive(key, ERROR_SUCCESS);
  }
  Query q(s.hive(), kKeyInfo);
  const int rc = q.Int(1, key).Step();
  if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
  if (rc != SQLITE_ROW) return ErrorOf(rc);
  // Lengths are stored in bytes; counts beyond 32 bits cannot occur in a
  // file SQLite accepts (and are cut, not trusted, if they did).
  auto units = [&](int column) { return static_cast<DWORD>(q.Int(column) / 2); };
  q.Units(0, &info->keyClass);
  info->lastWrite = q.Int(1);
  info->subKeys = static_cast<DWORD>(q.Int(2));
  info->maxSubKeyLength = units(3);
  info->maxClassLength = units(4);
  info->values = static_cast<DWORD>(q.Int(5));
  info->maxValueNameLength = units(6);
  info->maxValueLength = static_cast<DWORD>(q.Int(7));
  return ERROR_SUCCESS;
}

void CloseHives() {
  for (Hive& h : g_hives) {
    CCriticalSectionGuard guard(&h.lock);
    CloseDatabase(h);
  }
}

void StoreStartup() { sqlite3_initialize(); }

void StoreShutdown() {
  CloseHives();
  sqlite3_shutdown();
}

DWORD CheckHiveFile(const char* path, std::string* report) {
  report->clear();
  sqlite3* db = nullptr;
  int rc = OpenFile(path, false, false, &db);
  sqlite3_stmt* stmt = nullptr;
  if (rc == SQLITE_OK) rc = sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
  while (rc == SQLITE_OK || rc == SQLITE_ROW) {
    rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW) break;
    if (!report->empty()) *report += '\n';
    const auto* line = sqlite3_column_text(stmt, 0);
    *report += line ? reinterpret_cast<const char*>(line) : "";
  }
  if (rc != SQLITE_DONE && db) *report = sqlite3_errmsg(db);
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rc == SQLITE_DONE && *report == "ok" ? ERROR_SUCCESS : ERROR_BADDB;
}

const char* SetValueSql() { return kSql[kSetValue]; }
const char* QueryValueSql() { return kSql[kQueryValue]; }

}  // namespace zrpal::registry
