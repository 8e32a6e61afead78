// Talks to the stand-in projector: the behaviour file it reads from its
// current directory and the report it writes there.
#pragma once
#include <map>
#include <string>
#include <vector>

namespace standin {

// Writes "standin.txt" into `folder` with the given key=value lines.
void SetBehaviour(const std::string& folder, const std::map<std::string, std::string>& behaviour);

struct Report {
  bool present = false;
  std::map<std::string, std::string> values;
  std::string Get(const std::string& key) const;
  int Int(const std::string& key) const;
  std::vector<int> Rect() const;            // left, top, right, bottom
  std::vector<std::string> List(const std::string& key) const;  // ';'-separated
};

// The report of the projector that ran as instance `instance`.
Report ReadReport(const std::string& folder, int instance);

}  // namespace standin
