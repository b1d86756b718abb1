#include "startup/ImageHijackFamily.h"

#include "app/ImageHijacks.h"

namespace mt {

namespace {

using S = StartupSource;

struct Place {
  StartupSource source;
  ImageHijackKind kind;
  RegView view;
  const char* text;
};

constexpr Place kPlaces[] = {
    {S::ImageDebugger, ImageHijackKind::Debugger, RegView::Native, "映像劫持"},
    {S::ImageDebugger32, ImageHijackKind::Debugger, RegView::Wow32, "映像劫持 (32位)"},
    {S::ImageExitMonitor, ImageHijackKind::ExitMonitor, RegView::Native, "映像劫持 (退出时启动)"},
    {S::ImageExitMonitor32, ImageHijackKind::ExitMonitor, RegView::Wow32,
     "映像劫持 (退出时启动, 32位)"},
};

const Place* PlaceOf(StartupSource source) {
  for (const Place& place : kPlaces)
    if (place.source == source) return &place;
  return nullptr;
}

// The entry a row stands for, as the repair needs it.
ImageHijack HijackOf(const Place& place, const StartupRow& row) {
  return {row.name, place.view, place.kind, row.location};
}

class Family : public UnswitchableFamily {
 public:
  std::vector<StartupSource> Sources() const override {
    return {S::ImageDebugger, S::ImageDebugger32, S::ImageExitMonitor, S::ImageExitMonitor32};
  }
  std::string SourceText(StartupSource source) const override {
    const Place* place = PlaceOf(source);
    return place ? place->text : std::string();
  }
  bool MachineWide(StartupSource) const override { return true; }
  bool Is32Bit(StartupSource source) const override {
    const Place* place = PlaceOf(source);
    return place && place->view == RegView::Wow32;
  }

  // The keys of each view are read once for its two sources, on a thread of their own (a few
  // hundred programs' keys, each opened through the registry server).
  bool ReadsAhead(const StartupContext&) const override { return true; }
  std::function<void(StartupView&)> ReadAhead(const StartupContext& ctx) const override {
    std::vector<ImageHijack> native = FindImageHijacks(*ctx.svc.registry, RegView::Native).found;
    std::vector<ImageHijack> wow32 = FindImageHijacks(*ctx.svc.registry, RegView::Wow32).found;
    return [native = std::move(native), wow32 = std::move(wow32)](StartupView& view) {
      for (const Place& place : kPlaces)  // in the sources' order
        for (const ImageHijack& h : place.view == RegView::Wow32 ? wow32 : native)
          if (h.kind == place.kind) view.Append({h.exe, h.command, place.source, false, true});
    };
  }
  void List(const StartupContext& ctx, StartupView& view, StartupSource source) const override {
    const Place* place = PlaceOf(source);
    if (!place) return;
    // A key that cannot be read is left out (ImageHijackScan::skipped names it); the list
    // goes on with the others.
    for (const ImageHijack& h : FindImageHijacks(*ctx.svc.registry, place->view).found)
      if (h.kind == place->kind) view.Append({h.exe, h.command, source, false, true});
  }

  bool SaveForDeletion(const StartupContext&, DeletionBackup& backup,
                       const StartupRow& row) const override {
    const Place* place = PlaceOf(row.source);
    return place && SaveImageHijack(backup, HijackOf(*place, row));
  }
  bool Delete(const StartupContext& ctx, const StartupRow& row) const override {
    const Place* place = PlaceOf(row.source);
    return place && RepairImageHijack(*ctx.svc.registry, HijackOf(*place, row));
  }
};

}  // namespace

const StartupFamily& ImageHijackFamily() {
  static const Family family;
  return family;
}

}  // namespace mt
