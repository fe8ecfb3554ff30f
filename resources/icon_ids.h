// The identifiers of the library's own icons (resources/icons/<id>.ico, embedded in the
// library's module): one picture for each small button's look when enabled, one when
// disabled. 22004 is not used. The tool icon holds 32 x 32 and 16 x 16 pictures, the scan
// icons 32 x 32 only, the others 16 x 16.
#ifndef QELSHARE_RESOURCES_ICON_IDS_H_
#define QELSHARE_RESOURCES_ICON_IDS_H_

namespace qel::icons {

inline constexpr unsigned kNew = 22000;
inline constexpr unsigned kDelete = 22001;
inline constexpr unsigned kUp = 22002;
inline constexpr unsigned kDown = 22003;
inline constexpr unsigned kEdit = 22005;
inline constexpr unsigned kDeleteDisabled = 22006;
inline constexpr unsigned kDownDisabled = 22007;
inline constexpr unsigned kEditDisabled = 22008;
inline constexpr unsigned kNewDisabled = 22009;
inline constexpr unsigned kUpDisabled = 22010;
inline constexpr unsigned kRight = 22011;
inline constexpr unsigned kRightDisabled = 22012;
inline constexpr unsigned kLeft = 22013;
inline constexpr unsigned kLeftDisabled = 22014;
inline constexpr unsigned kTool = 22015;
inline constexpr unsigned kToolDisabled = 22016;
inline constexpr unsigned kCheck = 22017;
inline constexpr unsigned kCheckDisabled = 22018;
inline constexpr unsigned kRecord = 22019;
inline constexpr unsigned kRecordDisabled = 22020;
inline constexpr unsigned kScan = 22021;
inline constexpr unsigned kScanDisabled = 22022;
inline constexpr unsigned kSave = 22023;
inline constexpr unsigned kSaveDisabled = 22024;

}  // namespace qel::icons

#endif  // QELSHARE_RESOURCES_ICON_IDS_H_
