// The script engine interfaces' identifiers, which the platform's uuid
// library does not carry for every build.
#include <windows.h>
#include <initguid.h>
#include <activscp.h>
