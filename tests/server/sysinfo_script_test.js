// Creates the control by its program identifier and calls one open and one
// guarded method. A script host is no allowed web page, so the guarded method
// must fail with "access denied" (0x80070005).
function Code(e) { return (e.number >>> 0).toString(16); }
var info = null;
try {
  info = new ActiveXObject("Devlore.SysInfo");
} catch (e) {
  WScript.Echo("create failed " + Code(e));
}
if (info) {
  try {
    WScript.Echo("ValidateSession=" + info.ValidateSession());
  } catch (e) {
    WScript.Echo("ValidateSession failed " + Code(e));
  }
  try {
    WScript.Echo("GetObjectCount=" + info.GetObjectCount());
  } catch (e) {
    WScript.Echo("GetObjectCount=" + ((e.number >>> 0) == 0x80070005 ? "denied" : "error " + Code(e)));
  }
}
