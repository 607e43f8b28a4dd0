// The DB tables: named tables of typed fields and fixed-size records that
// scripts fill through the DB functions. A game table (status flag 0)
// belongs to one play-through: game saves carry it and Reset drops it. A
// status table (flag 1) outlives games: the status record carries it.
//
// Ownership: TitleServices owns the one manager of the player; the project
// reaches it through ProjectServices, the DB functions through their scope.
// The manager owns its tables, a table its fields and its records.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_io.h"

namespace nova::data {

// A field's type codes (the same numbers as the value types of the
// expression language).
enum class DBFieldType : std::uint8_t { Integer = 1, Float = 2, Flag = 3, String = 4 };

class TDBField {
 public:
  TDBField(std::string name, DBFieldType type, std::int32_t size) : m_name(std::move(name)), m_type(type), m_size(size) {}
  const std::string& name() const { return m_name; }
  DBFieldType type() const { return m_type; }
  // Bytes in the record: 4, 10, 1, or the declared length + 1.
  std::int32_t size() const { return m_size; }

 private:
  std::string m_name;
  DBFieldType m_type;
  std::int32_t m_size;
};

// One table. Its records lie in one buffer, record_size() bytes each, in
// table order.
class TDBTable {
 public:
  TDBTable(std::string name, bool status) : m_name(std::move(name)), m_status(status) {}

  const std::string& name() const { return m_name; }
  bool is_status() const { return m_status; }
  const std::vector<TDBField>& fields() const { return m_fields; }
  std::int32_t record_size() const { return m_record_size; }
  std::int32_t record_count() const;
  // -1: no current record.
  std::int32_t current() const { return m_current; }
  void set_current(std::int32_t index) { m_current = index; }

  // The raw bytes of record `index` (0 <= index < record_count()).
  std::span<std::uint8_t> record(std::int32_t index);
  std::span<const std::uint8_t> record(std::int32_t index) const;
  const std::vector<std::uint8_t>& records() const { return m_records; }

  // Appends a field; every record grows by its size, the new bytes zero.
  void add_field(std::string name, DBFieldType type, std::int32_t string_length = 0);
  // Appends a record of zero bytes and makes it current; its index.
  std::int32_t append();
  void clear_records();
  // Fields and records go; no current record.
  void clear();

 private:
  friend class TDBManager;
  std::string m_name;
  bool m_status;
  std::vector<TDBField> m_fields;
  std::int32_t m_record_size = 0;
  std::vector<std::uint8_t> m_records;
  std::int32_t m_current = -1;
};

class TDBManager {
 public:
  enum class Form { Game, Status };

  const std::vector<std::unique_ptr<TDBTable>>& tables() const { return m_tables; }
  // The first table of that name, without regard to case; null when none.
  TDBTable* find(std::string_view name) const;
  // -1: no active table.
  std::int32_t active_index() const { return m_active; }
  TDBTable* active() const;
  void set_active(std::int32_t index) { m_active = index; }
  // Appends an empty table and makes it active.
  TDBTable& create(std::string name, bool status);
  // Deletes every table; no active table.
  void clear();
  // Reset's step: every game table goes and no table is active.
  void delete_game_tables();

  // The tables of one form as the game save (game form, with the active
  // table's name) or the status record (status form) stores them.
  void save(core::ByteWriter& w, Form form) const;
  // Replaces the tables of that form with the stored ones. Reads the whole
  // block before changing anything: a damaged block raises core::Error
  // (the reader's load error) and leaves the manager as it was.
  void load(core::ByteReader& r, Form form);

 private:
  std::vector<std::unique_ptr<TDBTable>> m_tables;
  std::int32_t m_active = -1;
};

}  // namespace nova::data
