// Writing configfs and sysfs attributes: one write of the whole value.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace qel::lab {

// False when the attribute refused the value (or does not exist).
inline bool WriteAttribute(const std::filesystem::path& file, const std::string& value) {
  std::ofstream out(file, std::ios::binary);
  out << value;
  out.flush();
  return static_cast<bool>(out);
}

}  // namespace qel::lab
