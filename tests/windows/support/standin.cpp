#include "standin.h"

#include <cstdlib>
#include <sstream>

#include "harness.h"

namespace standin {

void SetBehaviour(const std::string& folder, const std::map<std::string, std::string>& behaviour) {
  std::string text;
  for (const auto& entry : behaviour) text += entry.first + "=" + entry.second + "\r\n";
  harness::WriteFileBytes(harness::Join(folder, "standin.txt"), text);
}

std::string Report::Get(const std::string& key) const {
  auto found = values.find(key);
  return found == values.end() ? std::string() : found->second;
}

int Report::Int(const std::string& key) const { return std::atoi(Get(key).c_str()); }

std::vector<int> Report::Rect() const {
  std::vector<int> numbers;
  std::stringstream stream(Get("rect"));
  std::string part;
  while (std::getline(stream, part, ',')) numbers.push_back(std::atoi(part.c_str()));
  return numbers;
}

std::vector<std::string> Report::List(const std::string& key) const {
  std::vector<std::string> items;
  std::stringstream stream(Get(key));
  std::string part;
  while (std::getline(stream, part, ';'))
    if (!part.empty()) items.push_back(part);
  return items;
}

Report ReadReport(const std::string& folder, int instance) {
  Report report;
  std::string text = harness::ReadFileBytes(harness::Join(folder, "standin-report-" + std::to_string(instance) + ".txt"));
  if (text.empty()) return report;
  report.present = true;
  std::stringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t equals = line.find('=');
    if (equals != std::string::npos) report.values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return report;
}

}  // namespace standin
