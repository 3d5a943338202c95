#include "library/sqlite_db.h"

#include <sqlite3.h>

namespace qv {

namespace {

std::string UriFor(const std::string& path) {
  // A file: URI needs '%', '?' and '#' of the path written as escapes.
  std::string uri = "file:";
  for (char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      static const char kHex[] = "0123456789ABCDEF";
      uri += '%';
      uri += kHex[static_cast<unsigned char>(c) >> 4];
      uri += kHex[c & 0xF];
    } else {
      uri += c;
    }
  }
  return uri + "?immutable=1";
}

}  // namespace

SqliteDb::SqliteDb(const std::string& path, Mode mode, int busyMs) {
  int flags = SQLITE_OPEN_NOMUTEX;
  std::string name = path;
  switch (mode) {
    case Mode::Create: flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE; break;
    case Mode::ReadOnly: flags |= SQLITE_OPEN_READONLY; break;
    case Mode::Immutable:
      flags |= SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
      name = UriFor(path);
      break;
  }
  const int rc = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    const std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    sqlite3_close(db_);
    db_ = nullptr;
    throw SqliteError(rc & 0xFF, message);
  }
  sqlite3_extended_result_codes(db_, 0);
  sqlite3_busy_timeout(db_, busyMs);
}

SqliteDb::~SqliteDb() { sqlite3_close(db_); }

void SqliteDb::Fail(int code, std::string_view what) const {
  std::string message(what);
  if (!message.empty()) message += ": ";
  message += db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
  throw SqliteError(code & 0xFF, message);
}

void SqliteDb::Exec(const char* sql) {
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Fail(rc, {});
}

int64_t SqliteDb::Number(const char* sql) {
  SqliteStatement statement(*this, sql);
  return statement.Step() ? statement.Int(0) : 0;
}

int64_t SqliteDb::LastInsertId() const { return sqlite3_last_insert_rowid(db_); }
int SqliteDb::Changes() const { return sqlite3_changes(db_); }

SqliteStatement::SqliteStatement(SqliteDb& db, const char* sql) : db_(db) {
  const int rc = sqlite3_prepare_v2(db.Handle(), sql, -1, &statement_, nullptr);
  if (rc != SQLITE_OK) db.Fail(rc, {});
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(statement_); }

SqliteStatement& SqliteStatement::Bind(int index, std::string_view text) {
  const int rc = sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) db_.Fail(rc, {});
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, int64_t value) {
  const int rc = sqlite3_bind_int64(statement_, index, value);
  if (rc != SQLITE_OK) db_.Fail(rc, {});
  return *this;
}

bool SqliteStatement::Step() {
  const int rc = sqlite3_step(statement_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  db_.Fail(rc, {});
}

void SqliteStatement::Reset() { sqlite3_reset(statement_); }

std::string SqliteStatement::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement_, column))) : std::string();
}

int64_t SqliteStatement::Int(int column) const { return sqlite3_column_int64(statement_, column); }

SqliteTransaction::SqliteTransaction(SqliteDb& db) : db_(db) { db_.Exec("BEGIN IMMEDIATE"); }

SqliteTransaction::~SqliteTransaction() {
  if (open_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteTransaction::Commit() {
  db_.Exec("COMMIT");
  open_ = false;
}

}  // namespace qv
