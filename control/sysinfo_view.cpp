// Drawing (which paints nothing), IViewObjectEx and IDataObject.
#include "control/sysinfo_object.h"

namespace devlore {
namespace {

bool IsMetafileDc(HDC dc) { return GetDeviceCaps(dc, TECHNOLOGY) == DT_METAFILE; }

// HIMETRIC to device pixels at dotsPerInch, rounded.
LONG HimetricToPixels(LONG himetric, int dotsPerInch) {
  return static_cast<LONG>((static_cast<LONGLONG>(dotsPerInch) * himetric + 1270) / 2540);
}

}  // namespace

void SysInfoObject::DrawOnScreen(HDC dc) {
  // The drawing runs in device units on a saved state of the caller's device
  // context, which is restored afterwards. This control shows nothing of its own.
  const int saved = SaveDC(dc);
  SetMapMode(dc, MM_TEXT);
  SetWindowOrgEx(dc, 0, 0, nullptr);
  SetViewportOrgEx(dc, 0, 0, nullptr);
  if (saved) RestoreDC(dc, saved);
}

HRESULT ViewFacet::Draw(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                        BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (!dc) return E_INVALIDARG;
  SysInfoObject* self = Self();
  // A windowless container may leave the bounds to the object's position.
  if (!bounds && !((self->state_ & kInPlaceActive) && (self->state_ & kWindowless))) return E_INVALIDARG;
  // Into a metafile nothing is drawn at all.
  if (!IsMetafileDc(dc)) self->DrawOnScreen(dc);
  return S_OK;
}

HRESULT ViewFacet::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colorSet) {
  if (colorSet) *colorSet = nullptr;
  return E_NOTIMPL;
}

HRESULT ViewFacet::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
HRESULT ViewFacet::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT ViewFacet::SetAdvise(DWORD, DWORD, IAdviseSink* sink) {
  Self()->viewAdviseSink_ = sink;
  return S_OK;
}

HRESULT ViewFacet::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  // Aspects and flags are not kept.
  if (aspects) *aspects = 0;
  if (flags) *flags = 0;
  if (sink) Self()->viewAdviseSink_.CopyTo(sink);
  return S_OK;
}

HRESULT ViewFacet::GetExtent(DWORD, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  if (!size) return E_POINTER;
  *size = Self()->properties_.currentExtent;
  return S_OK;
}

HRESULT ViewFacet::GetRect(DWORD, LPRECTL) { return E_NOTIMPL; }

HRESULT ViewFacet::GetViewStatus(DWORD* status) {
  if (!status) return E_POINTER;
  *status = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
  return S_OK;
}

HRESULT ViewFacet::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG, DWORD* hitResult) {
  if (!bounds || !hitResult) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return E_FAIL;
  *hitResult = PtInRect(bounds, location) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
  return S_OK;
}

HRESULT ViewFacet::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG, DWORD* hitResult) {
  if (!bounds || !location || !hitResult) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return E_FAIL;
  RECT overlap;
  *hitResult = IntersectRect(&overlap, bounds, location) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
  return S_OK;
}

HRESULT ViewFacet::GetNaturalExtent(DWORD aspect, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO* extentInfo,
                                        LPSIZEL size) {
  if (!extentInfo || !size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT || extentInfo->dwExtentMode != DVEXTENT_CONTENT) return E_FAIL;
  *size = Self()->naturalExtent_;
  return S_OK;
}

// ---- IDataObject ----------------------------------------------------------

HRESULT DataFacet::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (!medium) return E_POINTER;
  BYTE* bytes = reinterpret_cast<BYTE*>(medium);
  for (unsigned i = 0; i < sizeof *medium; ++i) bytes[i] = 0;
  if (!format) return E_POINTER;
  if (!(format->tymed & TYMED_MFPICT)) return DV_E_TYMED;

  const SIZEL extent = Self()->properties_.currentExtent;
  SIZE pixels = {0, 0};
  if (HDC screen = GetDC(nullptr)) {
    pixels.cx = HimetricToPixels(extent.cx, GetDeviceCaps(screen, LOGPIXELSX));
    pixels.cy = HimetricToPixels(extent.cy, GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
  }
  HDC recorder = CreateMetaFileA(nullptr);
  if (!recorder) return E_UNEXPECTED;
  SetWindowOrgEx(recorder, 0, 0, nullptr);
  SetWindowExtEx(recorder, pixels.cx, pixels.cy, nullptr);
  // The control draws nothing into the picture.
  HMETAFILE metafile = CloseMetaFile(recorder);
  if (!metafile) return E_UNEXPECTED;

  HGLOBAL block = GlobalAlloc(GMEM_SHARE | GMEM_MOVEABLE, sizeof(METAFILEPICT));
  METAFILEPICT* picture = block ? static_cast<METAFILEPICT*>(GlobalLock(block)) : nullptr;
  if (!picture) {
    if (block) GlobalFree(block);
    DeleteMetaFile(metafile);
    return STG_E_MEDIUMFULL;
  }
  picture->mm = MM_ANISOTROPIC;
  picture->xExt = extent.cx;
  picture->yExt = extent.cy;
  picture->hMF = metafile;
  GlobalUnlock(block);
  medium->tymed = TYMED_MFPICT;
  medium->hMetaFilePict = block;
  medium->pUnkForRelease = nullptr;
  return S_OK;
}

HRESULT DataFacet::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }
HRESULT DataFacet::QueryGetData(FORMATETC*) { return E_NOTIMPL; }

HRESULT DataFacet::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
  if (out) out->ptd = nullptr;
  return E_NOTIMPL;
}

HRESULT DataFacet::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }

HRESULT DataFacet::EnumFormatEtc(DWORD, IEnumFORMATETC** formats) {
  if (formats) *formats = nullptr;
  return E_NOTIMPL;
}

HRESULT DataFacet::DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) {
  if (!connection) return E_POINTER;
  *connection = 0;
  ComPtr<IDataAdviseHolder>& holder = Self()->dataAdviseHolder_;
  if (!holder) {
    const HRESULT hr = CreateDataAdviseHolder(holder.Receive());
    if (FAILED(hr)) return hr;
  }
  return holder->Advise(this, format, flags, sink, connection);
}

HRESULT DataFacet::DUnadvise(DWORD connection) {
  IDataAdviseHolder* holder = Self()->dataAdviseHolder_.Get();
  if (!holder) return OLE_E_NOCONNECTION;
  return holder->Unadvise(connection);
}

HRESULT DataFacet::EnumDAdvise(IEnumSTATDATA** advises) {
  if (!advises) return E_POINTER;
  *advises = nullptr;
  IDataAdviseHolder* holder = Self()->dataAdviseHolder_.Get();
  if (!holder) return E_FAIL;
  return holder->EnumAdvise(advises);
}

}  // namespace devlore
