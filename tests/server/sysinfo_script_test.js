// Creates the control by its program identifier and calls the open method and
// every guarded one. A script host is no allowed web page, so each guarded
// method must fail with "access denied": JScript's "Permission denied"
// (0x800A0046) or the HRESULT itself (0x80070005).
function Code(e) { return (e.number >>> 0).toString(16); }
var info = null;
try {
  info = WScript.CreateObject("Devlore.SysInfo");
} catch (e) {
  WScript.Echo("create failed " + Code(e));
}
// One line per guarded method: NAME=denied, or what happened instead.
function Guarded(name, call) {
  try {
    call();
    WScript.Echo(name + "=answered");
  } catch (e) {
    var code = e.number >>> 0;
    WScript.Echo(name + "=" + (code == 0x800A0046 || code == 0x80070005 ? "denied" : "error " + Code(e)));
  }
}
if (info) {
  try {
    WScript.Echo("ValidateSession=" + info.ValidateSession());
  } catch (e) {
    WScript.Echo("ValidateSession failed " + Code(e));
  }
  var out;
  Guarded("IsVersionCompatible", function () { info.IsVersionCompatible(1, 1, 2, out); });
  Guarded("InitializeDeviceObjects", function () { info.InitializeDeviceObjects(); });
  Guarded("GetObjectCount", function () { info.GetObjectCount(); });
  Guarded("GetDeviceTypeByIndex", function () { info.GetDeviceTypeByIndex(0, out); });
  Guarded("GetCatCountByIndex", function () { info.GetCatCountByIndex(0, out); });
  Guarded("GetElementsInCatByIndices", function () { info.GetElementsInCatByIndices(0, 0, out); });
  Guarded("GetSingleString", function () { info.GetSingleString(0, 0, 0, out); });
  Guarded("DeInitializeDeviceObjects", function () { info.DeInitializeDeviceObjects(); });
  WScript.Echo("done");
}
