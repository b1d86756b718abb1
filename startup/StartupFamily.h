// One family of places the startup list reads (the registry places, the Startup folders, the
// scheduled tasks...): its rows, how each is saved before it goes, deleted, and switched off
// and on. The page's logic (StartupItems) only walks the families; a new family is one module
// and one line in StartupFamilies().
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/Services.h"
#include "startup/StartupRows.h"

namespace mt {

class DeletionBackup;

// The reason of a refused switch when nothing more is known.
inline constexpr const char* kSwitchRefusedReason = "系统拒绝了更改";

// What a family works with.
struct StartupContext {
  Services& svc;
  StartupPlaces& places;
};

class StartupFamily {
 public:
  virtual ~StartupFamily() = default;

  // The sources whose rows this family makes. The list shows every source at the place its
  // value has in StartupSource.
  virtual std::vector<StartupSource> Sources() const = 0;
  // The "来源" text of a source.
  virtual std::string SourceText(StartupSource source) const = 0;
  // Whether the source belongs to the whole machine (needs administrator rights).
  virtual bool MachineWide(StartupSource source) const = 0;
  virtual bool Is32Bit(StartupSource source) const {
    (void)source;
    return false;
  }
  // Whether a row's location is the item's own file (a shortcut) rather than a command line.
  virtual bool LocationIsFile(StartupSource source) const {
    (void)source;
    return false;
  }

  // Appends the rows of one source. May throw: what was appended stays.
  virtual void List(const StartupContext& ctx, StartupView& view, StartupSource source) const = 0;
  // A family whose store answers slowly reads it on a thread of its own while the others
  // list: ReadsAhead says so, ReadAhead (on that thread) reads and returns what appends all
  // the family's rows afterwards, on the list's thread.
  virtual bool ReadsAhead(const StartupContext& ctx) const {
    (void)ctx;
    return false;
  }
  virtual std::function<void(StartupView&)> ReadAhead(const StartupContext& ctx) const {
    (void)ctx;
    return nullptr;
  }

  // Records in `backup` what deleting the row removes; false when it cannot be saved.
  virtual bool SaveForDeletion(const StartupContext& ctx, DeletionBackup& backup,
                               const StartupRow& row) const = 0;
  // Deletes the row's item (or writes the system's own value back); false when nothing went.
  virtual bool Delete(const StartupContext& ctx, const StartupRow& row) const = 0;
  // Whether "删除" is offered for rows of the source; ticked rows of a source that is not are
  // left alone and named in a notice that begins with NotDeletableText.
  virtual bool Deletable(StartupSource source) const {
    (void)source;
    return true;
  }
  virtual std::string NotDeletableText(StartupSource source) const {
    (void)source;
    return std::string();
  }

  // Whether "禁用" and "启用" change anything for rows of the source.
  virtual bool Switchable(StartupSource source) const = 0;
  // Records in `backup` the on/off state switching the row changes; false when it cannot be
  // read.
  virtual bool SaveForSwitch(const StartupContext& ctx, DeletionBackup& backup,
                             const StartupRow& row) const = 0;
  // Switches the row's item on or off (`now`: the FILETIME a switch-off records). False when
  // the system refused.
  virtual bool Switch(const StartupContext& ctx, const StartupRow& row, bool enabled,
                      uint64_t now) const = 0;
  // Switch, with the words of a refusal: empty when switched, kSwitchRefusedReason when the
  // family knows no more than that the system refused.
  virtual std::string SwitchOrReason(const StartupContext& ctx, const StartupRow& row, bool enabled,
                                     uint64_t now) const {
    return Switch(ctx, row, enabled, now) ? std::string() : kSwitchRefusedReason;
  }
};

// A family whose rows have no on/off switch: the system offers none for them, so "禁用" and
// "启用" skip them.
class UnswitchableFamily : public StartupFamily {
 public:
  bool Switchable(StartupSource) const override { return false; }
  bool SaveForSwitch(const StartupContext&, DeletionBackup&, const StartupRow&) const override {
    return false;
  }
  bool Switch(const StartupContext&, const StartupRow&, bool, uint64_t) const override {
    return false;
  }
};

// The families of the list, in no particular order (the sources give the order).
const std::vector<const StartupFamily*>& StartupFamilies();
// The family a source belongs to; null for a value no family makes.
const StartupFamily* FamilyOf(StartupSource source);
// Every source of every family in list order.
std::vector<StartupSource> ListedSources();

}  // namespace mt
