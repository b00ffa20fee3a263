// A small TWAIN source for the manager's and the test applications' tests: it
// goes through states 3 to 7 the way a source must, and offers one 10 x 7 grey
// image whose sample at (x, y) is x + 16 y, by native or memory transfer. It
// knows no manager memory: its handles are the blocks themselves.
#include "hosts/twain/twain.h"
#include "platform/library.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr TW_UINT32 kWidth = 10, kHeight = 7, kPaddedRow = 12;

struct Source {
  int state = 3;
  TW_UINT16 condition = TWCC_SUCCESS;
  TW_IDENTITY self{};
  TW_IDENTITY app{};
  TW_UINT16 xferMech = TWSX_NATIVE;
  TW_UINT32 nextRow = 0;
  platform::Library manager;
  DSMENTRYPROC dsm = nullptr;
};

Source& source() {
  static Source s;
  return s;
}

TW_UINT16 fail(TW_UINT16 cc) {
  source().condition = cc;
  return TWRC_FAILURE;
}

TW_UINT8 sample(TW_UINT32 x, TW_UINT32 y) { return static_cast<TW_UINT8>(x + 16 * y); }

// Tells the application through the manager; the manager is the one already loaded.
TW_UINT16 notify(TW_UINT16 msg) {
  Source& s = source();
  if (s.dsm == nullptr && s.manager.open("TwainDsm", reinterpret_cast<const void*>(&notify)))
    s.dsm = s.manager.function<DSMENTRYPROC>("DSM_Entry");
  return s.dsm != nullptr ? s.dsm(&s.self, &s.app, DG_CONTROL, DAT_NULL, msg, nullptr) : TWRC_FAILURE;
}

TW_UINT16 control(TW_IDENTITY* origin, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF data) {
  Source& s = source();
  if (DAT == DAT_IDENTITY && MSG == MSG_GET) {
    auto* id = static_cast<TW_IDENTITY*>(data);
    std::memset(id, 0, sizeof *id);
    id->ProtocolMajor = TWON_PROTOCOLMAJOR;
    id->ProtocolMinor = TWON_PROTOCOLMINOR;
    id->SupportedGroups = DG_CONTROL | DG_IMAGE;
    std::strcpy(id->ProductName, "Fake Source");
    return TWRC_SUCCESS;
  }
  if (DAT == DAT_IDENTITY && MSG == MSG_OPENDS) {
    if (s.state != 3) return fail(TWCC_MAXCONNECTIONS);
    s.self = *static_cast<TW_IDENTITY*>(data);
    s.app = *origin;
    s.state = 4;
    return TWRC_SUCCESS;
  }
  if (DAT == DAT_IDENTITY && MSG == MSG_CLOSEDS) {
    if (s.state != 4) return fail(TWCC_SEQERROR);
    s.state = 3;
    s.manager.close();
    s.dsm = nullptr;
    return TWRC_SUCCESS;
  }
  if (DAT == DAT_STATUS && MSG == MSG_GET) {
    static_cast<TW_STATUS*>(data)->ConditionCode = s.condition;
    s.condition = TWCC_SUCCESS;
    return TWRC_SUCCESS;
  }
  if (DAT == DAT_CAPABILITY && MSG == MSG_SET) {
    auto* cap = static_cast<TW_CAPABILITY*>(data);
    if (s.state != 4) return fail(TWCC_SEQERROR);
    if (cap->Cap != ICAP_XFERMECH || cap->ConType != TWON_ONEVALUE) return fail(TWCC_BADCAP);
    auto* one = static_cast<TW_ONEVALUE*>(cap->hContainer);
    if (one == nullptr) return fail(TWCC_BADVALUE);
    s.xferMech = static_cast<TW_UINT16>(one->Item);
    return TWRC_SUCCESS;
  }
  if (DAT == DAT_SETUPMEMXFER && MSG == MSG_GET) {
    *static_cast<TW_SETUPMEMXFER*>(data) = TW_SETUPMEMXFER{kPaddedRow, 1 << 20, 3 * kPaddedRow};
    return TWRC_SUCCESS;
  }
  if (DAT == DAT_USERINTERFACE && MSG == MSG_ENABLEDS) {
    if (s.state != 4) return fail(TWCC_SEQERROR);
    s.state = 5;
    if (notify(MSG_XFERREADY) == TWRC_SUCCESS) {
      s.state = 6;
      s.nextRow = 0;
    }
    return TWRC_SUCCESS;
  }
  if (DAT == DAT_USERINTERFACE && MSG == MSG_DISABLEDS) {
    if (s.state != 5) return fail(TWCC_SEQERROR);
    s.state = 4;
    return TWRC_SUCCESS;
  }
  if (DAT == DAT_EVENT && MSG == MSG_PROCESSEVENT) {
    static_cast<TW_EVENT*>(data)->TWMessage = MSG_NULL;
    return TWRC_NOTDSEVENT;
  }
  if (DAT == DAT_PENDINGXFERS && MSG == MSG_ENDXFER) {
    if (s.state != 6 && s.state != 7) return fail(TWCC_SEQERROR);
    static_cast<TW_PENDINGXFERS*>(data)->Count = 0;
    s.state = 5;
    notify(MSG_CLOSEDSREQ);
    return TWRC_SUCCESS;
  }
  return fail(TWCC_BADPROTOCOL);
}

TW_UINT16 image(TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF data) {
  Source& s = source();
  if (DAT == DAT_IMAGEINFO && MSG == MSG_GET) {
    if (s.state != 6) return fail(TWCC_SEQERROR);
    auto* info = static_cast<TW_IMAGEINFO*>(data);
    std::memset(info, 0, sizeof *info);
    info->ImageWidth = kWidth;
    info->ImageLength = kHeight;
    info->SamplesPerPixel = 1;
    info->BitsPerSample[0] = 8;
    info->BitsPerPixel = 8;
    info->PixelType = TWPT_GRAY;
    return TWRC_SUCCESS;
  }
  if (DAT == DAT_IMAGEMEMXFER && MSG == MSG_GET) {
    if (s.state != 6 && s.state != 7) return fail(TWCC_SEQERROR);
    auto* x = static_cast<TW_IMAGEMEMXFER*>(data);
    TW_UINT32 rows = x->Memory.Length / kPaddedRow;
    if (rows == 0 || s.nextRow >= kHeight) return fail(TWCC_BADVALUE);
    if (rows > kHeight - s.nextRow) rows = kHeight - s.nextRow;
    auto* out = static_cast<TW_UINT8*>(x->Memory.TheMem);
    std::memset(out, 0, x->Memory.Length);
    for (TW_UINT32 r = 0; r < rows; ++r)
      for (TW_UINT32 c = 0; c < kWidth; ++c) out[r * kPaddedRow + c] = sample(c, s.nextRow + r);
    x->Compression = TWCP_NONE;
    x->BytesPerRow = kPaddedRow;
    x->Columns = kWidth;
    x->Rows = rows;
    x->XOffset = 0;
    x->YOffset = s.nextRow;
    x->BytesWritten = rows * kPaddedRow;
    s.nextRow += rows;
    s.state = 7;
    return s.nextRow == kHeight ? TWRC_XFERDONE : TWRC_SUCCESS;
  }
  if (DAT == DAT_IMAGENATIVEXFER && MSG == MSG_GET) {
    if (s.state != 6) return fail(TWCC_SEQERROR);
    const std::size_t head = 40 + 256 * 4;
    auto* p = static_cast<TW_UINT8*>(std::calloc(1, head + kPaddedRow * kHeight));
    if (p == nullptr) return fail(TWCC_LOWMEMORY);
    TW_HANDLE h = p;
    const TW_INT32 header[] = {40, kWidth, kHeight};
    std::memcpy(p, header, sizeof header);
    const TW_UINT16 planes = 1, bits = 8;
    std::memcpy(p + 12, &planes, 2);
    std::memcpy(p + 14, &bits, 2);
    for (int i = 0; i < 256; ++i) p[40 + 4 * i] = p[41 + 4 * i] = p[42 + 4 * i] = static_cast<TW_UINT8>(i);
    for (TW_UINT32 y = 0; y < kHeight; ++y)  // bottom-up
      for (TW_UINT32 c = 0; c < kWidth; ++c) p[head + (kHeight - 1 - y) * kPaddedRow + c] = sample(c, y);
    *static_cast<TW_HANDLE*>(data) = h;
    s.state = 7;
    return TWRC_XFERDONE;
  }
  return fail(TWCC_BADPROTOCOL);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) TW_UINT16 DS_Entry(TW_IDENTITY* pOrigin, TW_UINT32 DG,
                                                                     TW_UINT16 DAT, TW_UINT16 MSG,
                                                                     TW_MEMREF pData) {
  if (DG == DG_CONTROL) return control(pOrigin, DAT, MSG, pData);
  if (DG == DG_IMAGE) return image(DAT, MSG, pData);
  return fail(TWCC_BADPROTOCOL);
}
