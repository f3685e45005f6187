#include "g726_reference.h"

namespace vantorel::reference {
namespace {

using i16 = int16_t;

const i16 kPower2[15] = {1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384};
const i16 kQuantTable[7] = {-124, 80, 178, 246, 300, 349, 400};
const i16 kDqlnTable[16] = {-2048, 4, 135, 213, 273, 323, 373, 425,
                            425, 373, 323, 273, 213, 135, 4, -2048};
const i16 kWiTable[16] = {-12, 18, 41, 64, 112, 198, 355, 1122, 1122, 355, 198, 112, 64, 41, 18, -12};
const i16 kFiTable[16] = {0, 0, 0, 512, 512, 512, 1536, 3584, 3584, 1536, 512, 512, 512, 0, 0, 0};

int quan(int val, const i16* table, int size) {
  int i = 0;
  for (; i < size; i++) {
    if (val < table[i]) break;
  }
  return i;
}

int fmult(int an, int srn) {
  i16 anmag = static_cast<i16>((an > 0) ? an : ((-an) & 0x1FFF));
  i16 anexp = static_cast<i16>(quan(anmag, kPower2, 15) - 6);
  i16 anmant = static_cast<i16>((anmag == 0) ? 32 : (anexp >= 0) ? anmag >> anexp : anmag << -anexp);
  i16 wanexp = static_cast<i16>(anexp + ((srn >> 6) & 0xF) - 13);
  i16 wanmant = static_cast<i16>((anmant * (srn & 077) + 0x30) >> 4);
  i16 retval = static_cast<i16>((wanexp >= 0) ? ((wanmant << wanexp) & 0x7FFF) : (wanmant >> -wanexp));
  return ((an ^ srn) < 0) ? -retval : retval;
}

int predictor_zero(const G726State& s) {
  int sezi = fmult(s.b[0] >> 2, s.dq[0]);
  for (int i = 1; i < 6; i++) sezi += fmult(s.b[i] >> 2, s.dq[i]);
  return sezi;
}

int predictor_pole(const G726State& s) {
  return fmult(s.a[1] >> 2, s.sr[1]) + fmult(s.a[0] >> 2, s.sr[0]);
}

int step_size(const G726State& s) {
  if (s.ap >= 256) return s.yu;
  int y = s.yl >> 6;
  int dif = s.yu - y;
  int al = s.ap >> 2;
  if (dif > 0) {
    y += (dif * al) >> 6;
  } else if (dif < 0) {
    y += (dif * al + 0x3F) >> 6;
  }
  return y;
}

int quantize(int d, int y) {
  i16 dqm = static_cast<i16>(d < 0 ? -d : d);
  i16 exp = static_cast<i16>(quan(dqm >> 1, kPower2, 15));
  i16 mant = static_cast<i16>(((dqm << 7) >> exp) & 0x7F);
  i16 dl = static_cast<i16>((exp << 7) + mant);
  i16 dln = static_cast<i16>(dl - (y >> 2));
  int i = quan(dln, kQuantTable, 7);
  if (d < 0) return 15 - i;
  if (i == 0) return 15;
  return i;
}

int reconstruct(int sign, int dqln, int y) {
  i16 dql = static_cast<i16>(dqln + (y >> 2));
  if (dql < 0) return sign ? -0x8000 : 0;
  i16 dex = static_cast<i16>((dql >> 7) & 15);
  i16 dqt = static_cast<i16>(128 + (dql & 127));
  i16 dq = static_cast<i16>((dqt << 7) >> (14 - dex));
  return sign ? (dq - 0x8000) : dq;
}

void update(int y, int wi, int fi, int dq, int sr, int dqsez, G726State& s) {
  i16 pk0 = (dqsez < 0) ? 1 : 0;
  i16 mag = static_cast<i16>(dq & 0x7FFF);

  i16 ylint = static_cast<i16>(s.yl >> 15);
  i16 ylfrac = static_cast<i16>((s.yl >> 10) & 0x1F);
  i16 thr1 = static_cast<i16>((32 + ylfrac) << ylint);
  i16 thr2 = static_cast<i16>((ylint > 9) ? 31 << 10 : thr1);
  i16 dqthr = static_cast<i16>((thr2 + (thr2 >> 1)) >> 1);
  int tr;
  if (s.td == 0) {
    tr = 0;
  } else if (mag <= dqthr) {
    tr = 0;
  } else {
    tr = 1;
  }

  s.yu = static_cast<i16>(y + ((wi - y) >> 5));
  if (s.yu < 544) {
    s.yu = 544;
  } else if (s.yu > 5120) {
    s.yu = 5120;
  }
  s.yl += s.yu + ((-s.yl) >> 6);

  i16 a2p = 0;
  if (tr == 1) {
    s.a[0] = 0;
    s.a[1] = 0;
    for (int i = 0; i < 6; i++) s.b[i] = 0;
  } else {
    i16 pks1 = static_cast<i16>(pk0 ^ s.pk[0]);
    a2p = static_cast<i16>(s.a[1] - (s.a[1] >> 7));
    if (dqsez != 0) {
      i16 fa1 = static_cast<i16>(pks1 ? s.a[0] : -s.a[0]);
      if (fa1 < -8191) {
        a2p = static_cast<i16>(a2p - 0x100);
      } else if (fa1 > 8191) {
        a2p = static_cast<i16>(a2p + 0xFF);
      } else {
        a2p = static_cast<i16>(a2p + (fa1 >> 5));
      }
      if (pk0 ^ s.pk[1]) {
        if (a2p <= -12160) {
          a2p = -12288;
        } else if (a2p >= 12416) {
          a2p = 12288;
        } else {
          a2p = static_cast<i16>(a2p - 0x80);
        }
      } else if (a2p <= -12416) {
        a2p = -12288;
      } else if (a2p >= 12160) {
        a2p = 12288;
      } else {
        a2p = static_cast<i16>(a2p + 0x80);
      }
    }
    s.a[1] = a2p;

    s.a[0] = static_cast<i16>(s.a[0] - (s.a[0] >> 8));
    if (dqsez != 0) {
      if (pks1 == 0) {
        s.a[0] = static_cast<i16>(s.a[0] + 192);
      } else {
        s.a[0] = static_cast<i16>(s.a[0] - 192);
      }
    }
    i16 a1ul = static_cast<i16>(15360 - a2p);
    if (s.a[0] < -a1ul) {
      s.a[0] = static_cast<i16>(-a1ul);
    } else if (s.a[0] > a1ul) {
      s.a[0] = a1ul;
    }

    for (int i = 0; i < 6; i++) {
      s.b[i] = static_cast<i16>(s.b[i] - (s.b[i] >> 8));
      if (dq & 0x7FFF) {
        if ((dq ^ s.dq[i]) >= 0) {
          s.b[i] = static_cast<i16>(s.b[i] + 128);
        } else {
          s.b[i] = static_cast<i16>(s.b[i] - 128);
        }
      }
    }
  }

  for (int i = 5; i > 0; i--) s.dq[i] = s.dq[i - 1];
  if (mag == 0) {
    s.dq[0] = static_cast<i16>((dq >= 0) ? 0x20 : 0xFC20);
  } else {
    i16 exp = static_cast<i16>(quan(mag, kPower2, 15));
    s.dq[0] = static_cast<i16>((dq >= 0) ? (exp << 6) + ((mag << 6) >> exp)
                                         : (exp << 6) + ((mag << 6) >> exp) - 0x400);
  }

  s.sr[1] = s.sr[0];
  if (sr == 0) {
    s.sr[0] = 0x20;
  } else if (sr > 0) {
    i16 exp = static_cast<i16>(quan(sr, kPower2, 15));
    s.sr[0] = static_cast<i16>((exp << 6) + ((sr << 6) >> exp));
  } else if (sr > -32768) {
    mag = static_cast<i16>(-sr);
    i16 exp = static_cast<i16>(quan(mag, kPower2, 15));
    s.sr[0] = static_cast<i16>((exp << 6) + ((mag << 6) >> exp) - 0x400);
  } else {
    s.sr[0] = static_cast<i16>(0xFC20);
  }

  s.pk[1] = s.pk[0];
  s.pk[0] = pk0;

  if (tr == 1) {
    s.td = 0;
  } else if (a2p < -11776) {
    s.td = 1;
  } else {
    s.td = 0;
  }

  s.dms = static_cast<i16>(s.dms + ((fi - s.dms) >> 5));
  s.dml = static_cast<i16>(s.dml + (((fi << 2) - s.dml) >> 7));

  if (tr == 1) {
    s.ap = 256;
  } else if (y < 1536) {
    s.ap = static_cast<i16>(s.ap + ((0x200 - s.ap) >> 4));
  } else if (s.td == 1) {
    s.ap = static_cast<i16>(s.ap + ((0x200 - s.ap) >> 4));
  } else if (((s.dms << 2) - s.dml < 0 ? s.dml - (s.dms << 2) : (s.dms << 2) - s.dml) >= (s.dml >> 3)) {
    s.ap = static_cast<i16>(s.ap + ((0x200 - s.ap) >> 4));
  } else {
    s.ap = static_cast<i16>(s.ap + ((-s.ap) >> 4));
  }
}

}  // namespace

void InitState(G726State& s) {
  s.yl = 34816;
  s.yu = 544;
  s.dms = 0;
  s.dml = 0;
  s.ap = 0;
  for (int i = 0; i < 2; i++) {
    s.a[i] = 0;
    s.pk[i] = 0;
    s.sr[i] = 32;
  }
  for (int i = 0; i < 6; i++) {
    s.b[i] = 0;
    s.dq[i] = 32;
  }
  s.td = 0;
}

int Encode(int sample, G726State& s) {
  int sl = sample >> 2;
  i16 sezi = static_cast<i16>(predictor_zero(s));
  i16 sez = static_cast<i16>(sezi >> 1);
  i16 sei = static_cast<i16>(sezi + predictor_pole(s));
  i16 se = static_cast<i16>(sei >> 1);
  i16 y = static_cast<i16>(step_size(s));
  i16 d = static_cast<i16>(sl - se);
  int i = quantize(d, y);
  i16 dq = static_cast<i16>(reconstruct(i & 8, kDqlnTable[i], y));
  i16 sr = static_cast<i16>((dq < 0) ? se - (dq & 0x3FFF) : se + dq);
  i16 dqsez = static_cast<i16>(sr + sez - se);
  update(y, kWiTable[i] << 5, kFiTable[i], dq, sr, dqsez, s);
  return i;
}

int Decode(int code, G726State& s) {
  int i = code & 0x0F;
  i16 sezi = static_cast<i16>(predictor_zero(s));
  i16 sez = static_cast<i16>(sezi >> 1);
  i16 sei = static_cast<i16>(sezi + predictor_pole(s));
  i16 se = static_cast<i16>(sei >> 1);
  i16 y = static_cast<i16>(step_size(s));
  i16 dq = static_cast<i16>(reconstruct(i & 0x08, kDqlnTable[i], y));
  i16 sr = static_cast<i16>((dq < 0) ? (se - (dq & 0x3FFF)) : se + dq);
  i16 dqsez = static_cast<i16>(sr - se + sez);
  update(y, kWiTable[i] << 5, kFiTable[i], dq, sr, dqsez, s);
  return sr << 2;
}

}  // namespace vantorel::reference
