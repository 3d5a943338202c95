#pragma once
// A thin hold on SQLite: a connection and its prepared statements, each
// released with its owner, and every failure raised as a SqliteError that
// keeps SQLite's result code, so that a caller can tell a full disk from a
// read-only file or a damaged database and say so in the technician's words.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace qv {

class SqliteError : public std::runtime_error {
 public:
  SqliteError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  // The primary result code: SQLITE_FULL, SQLITE_READONLY, SQLITE_CORRUPT ...
  int Code() const { return code_; }

 private:
  int code_;
};

class SqliteDb {
 public:
  enum class Mode {
    Create,     // read and write, the file made when missing
    ReadOnly,   // read; needs a folder where SQLite may keep its shared-memory file
    Immutable,  // read a file nobody can change now (a read-only folder); no locks taken
  };
  // Waits up to `busyMs` for another program's lock before a statement fails.
  SqliteDb(const std::string& path, Mode mode, int busyMs);
  ~SqliteDb();
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  // Runs statements that return no rows.
  void Exec(const char* sql);
  // The first column of the first row of a query that returns a number.
  int64_t Number(const char* sql);
  int64_t LastInsertId() const;
  int Changes() const;
  sqlite3* Handle() const { return db_; }
  // Raises the connection's last error with `what` before SQLite's message.
  [[noreturn]] void Fail(int code, std::string_view what) const;

 private:
  sqlite3* db_ = nullptr;
};

class SqliteStatement {
 public:
  SqliteStatement(SqliteDb& db, const char* sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  // Parameters count from 1.
  SqliteStatement& Bind(int index, std::string_view text);
  SqliteStatement& Bind(int index, int64_t value);
  // True while a row is there to read.
  bool Step();
  // Ready to run again, parameters kept.
  void Reset();

  // Columns count from 0.
  std::string Text(int column) const;
  int64_t Int(int column) const;

 private:
  SqliteDb& db_;
  sqlite3_stmt* statement_ = nullptr;
};

// BEGIN IMMEDIATE: the write lock taken at once, so two programs writing at
// the same time queue up instead of failing halfway. Rolled back unless
// committed.
class SqliteTransaction {
 public:
  explicit SqliteTransaction(SqliteDb& db);
  ~SqliteTransaction();
  SqliteTransaction(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(const SqliteTransaction&) = delete;
  void Commit();

 private:
  SqliteDb& db_;
  bool open_ = true;
};

}  // namespace qv
