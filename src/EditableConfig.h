// EditableConfig: the published settings of one destination. Its source is
// the destination's configuration file, re-read at most once per period
// while pulling is on; the administration interface edits it directly.
//
// Owned by its Logos (built after the Logos's names, destroyed first). The
// snapshot of the names (DeviceInfoSnap) is read by reload and refreshed by
// the administration interface, both while the settings' mutex is held as
// an editor; the file-changing operations also hold the message lock.
#ifndef VANTREL_SRC_EDITABLECONFIG_H
#define VANTREL_SRC_EDITABLECONFIG_H

#include <SimpleTime.h>
#include <Vantrel.h>

#include <cstdint>

#include "LogosInfo.h"
#include "zeltools/mt/Pullable.h"
#include "zeltools/native/Native.h"

namespace Vantrel {

// What the default activity rule needs of a record, in one word: the lowest
// level that passes below severity 3 (none when the record is inactive).
struct ThresholdSummary {
  static constexpr std::int32_t nothing_passes = INT32_MAX;
  static std::uint32_t of(const Config& record) {
    return static_cast<std::uint32_t>(record.active ? record.importance.level : nothing_passes);
  }
  static std::int32_t threshold(std::uint32_t summary) {
    return static_cast<std::int32_t>(summary);
  }
};

class EditableConfig
    : public ZelTools::MT::Pullable<Config, ZelTools::Native::Mutex, ThresholdSummary>,
      public DeviceInfoSnap {
 public:
  using Base = ZelTools::MT::Pullable<Config, ZelTools::Native::Mutex, ThresholdSummary>;

  // The default record; with pulling on, the first message reads the file.
  EditableConfig(const DeviceInfo& info, bool pullable, SimpleTime::Duration period)
      : Base(Config(), pullable, period), DeviceInfoSnap(info) {}

  // Reads the configuration file named by the snapshot into `record`. True
  // when the file was parsed without error up to its end. A missing file, or
  // one refused by ConfigFileAccess (which says why), leaves the record as it
  // was.
  bool reload(Config& record) override;

 protected:
  // Every new publication may move the quick verdict's floor.
  void published() override;
};

}  // namespace Vantrel

#endif  // VANTREL_SRC_EDITABLECONFIG_H
