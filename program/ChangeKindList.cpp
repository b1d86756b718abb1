#include "program/ChangeKindList.h"

#include "startup/ServiceChange.h"
#include "startup/TaskChange.h"
#include "vdrive/DriveMappingChange.h"

namespace mt {

const ChangeKinds& ProgramChangeKinds() {
  static const ChangeKinds kinds = [] {
    ChangeKinds k = ChangeKinds::Basic();
    k.Add({kScheduledTaskKind, [](const nlohmann::json& place) {
             return std::unique_ptr<Change>(TaskChange::FromPlace(place));
           }});
    k.Add({kScheduledTaskEnabledKind, [](const nlohmann::json& place) {
             return std::unique_ptr<Change>(TaskEnabledChange::FromPlace(place));
           }});
    k.Add({kServiceStartKind, [](const nlohmann::json& place) {
             return std::unique_ptr<Change>(ServiceStartChange::FromPlace(place));
           }});
    k.Add({kDriveMappingKind, [](const nlohmann::json& place) {
             return std::unique_ptr<Change>(DriveMappingChange::FromPlace(place));
           }});
    return k;
  }();
  return kinds;
}

}  // namespace mt
