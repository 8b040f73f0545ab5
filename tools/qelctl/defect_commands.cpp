// defects show and defects set: the camera's defective-pixel tables, one of
// 20 points per camera number (1, 2) and frame size (index 0..2).
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "camera_session.h"
#include "commands.h"
#include "qel/qel.h"

namespace qelctl {
namespace {

constexpr std::uint16_t kEmpty = 0xFFFF;

using DefectTable = std::array<QelDefectPoint, QEL_DEFECT_POINTS>;

struct DefectOptions {
  SessionOptions session;
  int cameraNo = 0;    // 0: both
  int sizeIndex = -1;  // -1: all three
  std::vector<std::string> points;
};

// The frame size a table's points lie in, by camera model and size index.
std::string FrameSizeText(int model, int sizeIndex) {
  static const char* const kSizes[3][3] = {
      {"1280x720", "656x408", "328x204"},
      {"1280x720", "656x408", "328x204"},
      {"1920x1080", "960x540", "480x270"},
  };
  if (model < 0 || model > 2 || sizeIndex < 0 || sizeIndex > 2) return "?";
  return kSizes[model][sizeIndex];
}

std::string Coordinate(std::uint16_t value) {
  return value == kEmpty ? "-" : std::to_string(value);
}

std::string PointText(const QelDefectPoint& p) {
  if (p.x == kEmpty && p.y == kEmpty) return "-";
  return Coordinate(p.x) + "," + Coordinate(p.y);
}

void PrintTable(int model, int cameraNo, int sizeIndex, const DefectTable& table) {
  int used = 0;
  for (const QelDefectPoint& p : table) used += (p.x != kEmpty || p.y != kEmpty) ? 1 : 0;
  std::printf("camera %d, size index %d (%s): %d point(s)\n", cameraNo, sizeIndex,
              FrameSizeText(model, sizeIndex).c_str(), used);
  for (int row = 0; row < 4; ++row) {
    std::string line = " ";
    for (int column = 0; column < 5; ++column) {
      const int i = row * 5 + column;
      char cell[32];
      std::snprintf(cell, sizeof cell, " %2d: %-10s", i,
                    PointText(table[static_cast<std::size_t>(i)]).c_str());
      line += cell;
    }
    line.erase(line.find_last_not_of(' ') + 1);
    std::printf("%s\n", line.c_str());
  }
}

DefectTable ReadTable(std::int32_t key, int cameraNo, int sizeIndex) {
  DefectTable table{};
  if (!QelGetPixelDefect(key, cameraNo, sizeIndex, table.data())) {
    throw CallFailed("QelGetPixelDefect", "camera " + std::to_string(cameraNo) + ", size index " +
                                              std::to_string(sizeIndex));
  }
  return table;
}

int ShowDefects(const DefectOptions& options) {
  CameraSession camera(options.session);
  for (int cameraNo = 1; cameraNo <= 2; ++cameraNo) {
    if (options.cameraNo != 0 && options.cameraNo != cameraNo) continue;
    for (int sizeIndex = 0; sizeIndex <= 2; ++sizeIndex) {
      if (options.sizeIndex >= 0 && options.sizeIndex != sizeIndex) continue;
      PrintTable(camera.model(), cameraNo, sizeIndex, ReadTable(camera.key(), cameraNo, sizeIndex));
    }
  }
  return kExitSuccess;
}

DefectTable ParsePoints(const std::vector<std::string>& points) {
  if (points.size() > QEL_DEFECT_POINTS) {
    throw UsageError("a defect table holds at most " + std::to_string(QEL_DEFECT_POINTS) +
                     " points, not " + std::to_string(points.size()));
  }
  DefectTable table;
  table.fill(QelDefectPoint{kEmpty, kEmpty});
  for (std::size_t i = 0; i < points.size(); ++i) {
    const std::string& text = points[i];
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos) {
      throw UsageError("a point is X,Y (\"-\" for an empty coordinate), not \"" + text + "\"");
    }
    auto coordinate = [&](const std::string& part) {
      if (part == "-") return kEmpty;
      return static_cast<std::uint16_t>(ParseInteger(part, 0, 0xFFFE, "a point's coordinate"));
    };
    table[i].x = coordinate(text.substr(0, comma));
    table[i].y = coordinate(text.substr(comma + 1));
  }
  return table;
}

int SetDefects(const DefectOptions& options) {
  const DefectTable table = ParsePoints(options.points);
  CameraSession camera(options.session);
  if (!QelSetPixelDefect(camera.key(), options.cameraNo, options.sizeIndex, table.data())) {
    throw CallFailed("QelSetPixelDefect", "every point must lie in the " +
                                              FrameSizeText(camera.model(), options.sizeIndex) +
                                              " frame");
  }
  PrintTable(camera.model(), options.cameraNo, options.sizeIndex,
             ReadTable(camera.key(), options.cameraNo, options.sizeIndex));
  return kExitSuccess;
}

}  // namespace

void AddDefectCommands(CLI::App& app, Action& action) {
  auto* defects = app.add_subcommand("defects", "show or set a camera's defective-pixel tables");
  defects->require_subcommand(1);

  auto show = std::make_shared<DefectOptions>();
  auto* showCommand = defects->add_subcommand(
      "show", "show the defect tables (all six unless --camera or --size-index narrow them)");
  AddSessionOptions(*showCommand, show->session);
  showCommand->add_option("--camera", show->cameraNo, "camera number 1 or 2")
      ->check(CLI::Range(1, 2));
  showCommand->add_option("--size-index", show->sizeIndex, "size index 0..2")
      ->check(CLI::Range(0, 2));
  showCommand->callback([&action, show] { action = [show] { return ShowDefects(*show); }; });

  auto set = std::make_shared<DefectOptions>();
  auto* setCommand =
      defects->add_subcommand("set", "write one defect table; the points not given are empty");
  AddSessionOptions(*setCommand, set->session);
  setCommand->add_option("--camera", set->cameraNo, "camera number 1 or 2")
      ->required()
      ->check(CLI::Range(1, 2));
  setCommand->add_option("--size-index", set->sizeIndex, "size index 0..2")
      ->required()
      ->check(CLI::Range(0, 2));
  setCommand->add_option(
      "points", set->points,
      "up to 20 points X,Y (column, row; \"-\" for an empty coordinate; put -- before "
      "a point that starts with \"-\")");
  setCommand->callback([&action, set] { action = [set] { return SetDefects(*set); }; });
}

}  // namespace qelctl
