#include "FileTotals.h"

#include <algorithm>

#include "Employee.h"

std::int64_t FileTotals::read(RecordFile& file, std::int64_t records) {
  Employee e;
  return file.forEachRecord(Employee::kRecordBytes, records,
                            [&](const unsigned char* record, std::int64_t) {
                              e.decode(record, Employee::kRecordBytes);
                              records_.add(1);
                              if (e.getDeleted() != 0) {
                                deleted_.add(1);
                                return;
                              }
                              live_.add(1);
                              std::size_t k = 0;
                              while (k < std::size(kCategories) &&
                                     kCategories[k].code != e.getCategory()) {
                                ++k;
                              }
                              shares_[k].live.add(1);
                              shares_[k].amounts.add(e.getAmount());
                            });
}

std::vector<std::pair<std::string, Sum>> FileTotals::rows() const {
  std::vector<std::pair<std::string, Sum>> rows = {
      {"records", records_}, {"live", live_}, {"deleted", deleted_}};
  for (std::size_t k = 0; k < kShares; ++k) {
    const std::string code = k < std::size(kCategories)
                                 ? std::string(1, kCategories[k].letter)
                                 : "other";
    rows.emplace_back("live " + code, shares_[k].live);
    rows.emplace_back("amounts " + code, shares_[k].amounts);
  }
  return rows;
}

std::string FileTotals::table(std::span<const FileTotals> columns,
                              const std::vector<std::string>& heads,
                              const std::string& corner) {
  std::vector<std::vector<std::string>> lines;
  if (!heads.empty()) {
    lines.push_back({corner});
    lines.back().insert(lines.back().end(), heads.begin(), heads.end());
  }
  std::vector<std::vector<std::pair<std::string, Sum>>> rows;
  for (const FileTotals& c : columns) rows.push_back(c.rows());
  for (std::size_t r = 0; r < rows[0].size(); ++r) {
    std::vector<std::string>& cells = lines.emplace_back();
    cells.push_back(rows[0][r].first);
    for (const auto& column : rows) cells.push_back(column[r].second.text());
  }
  std::vector<std::size_t> width(columns.size() + 1);
  for (const auto& cells : lines) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
      width[i] = std::max(width[i], cells[i].size());
    }
  }
  std::string out;
  for (const auto& cells : lines) {
    out += cells[0] + std::string(width[0] - cells[0].size(), ' ');
    for (std::size_t i = 1; i < cells.size(); ++i) {
      out += "  " + std::string(width[i] - cells[i].size(), ' ') + cells[i];
    }
    out += "\n";
  }
  return out;
}
