#include "system/system_records.h"

#include "common/bytes.h"
#include "link/qel_utils.h"

using namespace Qt::StringLiterals;

namespace ulv {

namespace {

uint8_t B(const QByteArray& r, int offset) { return ReplyByte(r, offset); }
uint16_t W(const QByteArray& r, int offset) {
  return static_cast<uint16_t>(ReplyByte(r, offset) | (ReplyByte(r, offset + 1) << 8));
}

// Every value below is filled into a fixed format of this file, never into a
// text from a record.
QString Hex2(unsigned v) { return QString::asprintf("%2.2X", v); }
QString Hex4(unsigned v) { return QString::asprintf("%4.4X", v); }
QString Dec2(unsigned v) { return QString::asprintf("%2.2u", v); }
QString Dec4(unsigned v) { return QString::asprintf("%4.4u", v); }
QString Dec5(unsigned v) { return QString::asprintf("%5.5u", v); }

struct MaskLine {
  const char16_t* label;  // the text before the masked value
  unsigned mask;
};

// A flag line per mask: label + the masked (not shifted) value.
void MaskLines8(const QString& indent, uint8_t value, std::initializer_list<MaskLine> lines, QStringList& out) {
  for (const MaskLine& l : lines) out << indent + QString::fromUtf16(l.label) + Hex2(value & l.mask);
}

// A byte list: label, then every byte of [from, to] as "%2.2d." (the real
// value above 99) or as two hex digits and a point.
QString DecimalList(const QString& label, const QByteArray& r, int from, int to) {
  QString s = label;
  for (int i = from; i <= to; ++i) s += Dec2(B(r, i)) + u'.';
  return s;
}
QString HexList(const QString& label, const QByteArray& r, int from, int to) {
  QString s = label;
  for (int i = from; i <= to; ++i) s += Hex2(B(r, i)) + u'.';
  return s;
}

// Lines shared by the long and the short SysVar form; `indent` is the
// prefix of the bit lines ("            " long, "          " short).
void FlagsToFeuerwehr(const QByteArray& r, const QString& indent, bool longForm, QStringList& out) {
  MaskLines8(indent, B(r, 4),
             {{u"-      flgMESSF ", 0x01},
              {u"-    flgZENABLE ", 0x02},
              {u"-     flgORIENT ", 0x04},
              {u"-       flgRIVR ", 0x08},
              {u"-    flgNOTEVAK ", 0x10},
              {u"-     flgPARKED ", 0x20},
              {u"- flgMINIORIENT ", 0x40},
              {u"- flgTURDISABLE ", 0x80}},
             out);
  out << (longForm ? u"  +05  nhorder 0x"_s : u"     nhorder 0x"_s) + Hex2(B(r, 5));
  out << (longForm ? u"  +06  nhreply 0x"_s : u"     nhreply 0x"_s) + Hex2(B(r, 6));
  MaskLines8(indent, B(r, 5),
             {{u"-        nhSTOP ", 0x80},
              {u"-         nhAUF ", 0x01},
              {u"-          nhAB ", 0x02},
              {u"-    nhAUSFAHRT ", 0x04},
              {u"-       nhABORT ", 0x08}},
             out);
  out << (longForm ? u"  +07   kopflg 0x"_s : u"      kopflg 0x"_s) + Hex2(B(r, 7));
  MaskLines8(indent, B(r, 7),
             {{u"-          kfKU ", 0x01},
              {u"-          kfKO ", 0x02},
              {u"-      kfBUNDIG ", 0x28},
              {u"-       kfRZONE ", 0x10},
              {u"-     kfZONEWEG ", 0x40},
              {u"-        kfZONE ", 0x80}},
             out);
}

void FeuerwehrToFlags1(const QByteArray& r, const QString& lead, const QString& indent, QStringList& out) {
  const uint8_t fw = B(r, 12);
  out << lead + QString::asprintf(" feuerwehr 0x%X     ", fw) + BitString8(fw);
  MaskLines8(indent, fw,
             {{u"-       fwBFALL ", 0x01},
              {u"-       fwFEUER ", 0x02},
              {u"-          fwIO ", 0x04},
              {u"-  fwFIRST_TIME ", 0x08},
              {u"-   fwGOTO_MAIN ", 0x10},
              {u"-     fwFWAKTIV ", 0x20},
              {u"-       fwFLOCK ", 0x40},
              {u"-        fwLOCK ", 0x80}},
             out);
  out << lead + u"   prioetg "_s + QString::number(B(r, 13));
  out << lead + u"   prioanf 0x"_s + Hex4(W(r, 14));
  out << lead + u"   priotur 0x"_s + Hex2(B(r, 16));
  out << lead + u"   koreafm 0x"_s + Hex2(B(r, 17));
  out << lead + u"gongfilter 0x"_s + Hex2(B(r, 18));
  out << lead + u"  ss_timer 0x"_s + Hex2(B(r, 19));
  out << lead + u"   dynahyd 0x"_s + Hex2(B(r, 20)) + u"  "_s + BitString8(B(r, 20));
  out << lead + u"    flags1 0x"_s + Hex2(B(r, 21)) + u"  "_s + BitString8(B(r, 21));
}

}  // namespace

QString BitString8(uint8_t value) {
  QString s;
  for (int bit = 7; bit >= 0; --bit) {
    s += (value >> bit) & 1 ? u'1' : u'0';
    if (bit) s += u'-';
  }
  return s;
}

QString BitString16(uint16_t value) {
  return BitString8(static_cast<uint8_t>(value >> 8)) + u'-' + BitString8(static_cast<uint8_t>(value));
}

void SectionHeader(const QString& title, QStringList& out) {
  out << u" "_s << u"_____"_s + title + QString(29, u'_');
}

void PrintSysVarLong(const QByteArray& r, QStringList& out) {
  SectionHeader(u"SYSVAR"_s, out);
  out << u"  +00     mocx "_s + QString::number(B(r, 0));
  out << u"  +01      moc "_s + QString::number(B(r, 1));
  out << u"  +02 richtung 0x"_s + Hex2(B(r, 2));
  out << u"  +03    modus 0x"_s + Hex2(B(r, 3)) + u"  "_s + BitString8(B(r, 3));
  MaskLines8(u"       "_s, B(r, 3),
             {{u"-      modORIENTIERT ", 0x01},
              {u"-         modTABELLE ", 0x02},
              {u"-       modKURZFAHRT ", 0x04},
              {u"-       modPARKFAHRT ", 0x08},
              {u"-         modMINIMAL ", 0x10},
              {u"-            modAAUS ", 0x20},
              {u"-          modENDSCH ", 0x40},
              {u"-            modSUFA ", 0x80}},
             out);
  out << u"  +04    flags 0x"_s + Hex2(B(r, 4)) + u"  "_s + BitString8(B(r, 4));
  const QString indent(12, u' ');
  FlagsToFeuerwehr(r, indent, true, out);
  const uint16_t locks = W(r, 8);
  out << u"  + adrsperren 0x"_s + Hex4(locks) + u"  "_s + BitString16(locks);
  out << u"  + adrsperren mask    0-0-0-0-0-0-0-0-*-0-*-*-*-*-*-*"_s;
  static const struct {
    const char16_t* label;
    unsigned mask;
    bool lock;
  } kLocks[] = {{u"-     0 (timer) ", 0x0001, true}, {u"-        moc>=2 ", 0x0002, true},
                {u"-     ip/drknpf ", 0x0004, true}, {u"-       kb/sufa ", 0x0008, true},
                {u"-      editfunc ", 0x0010, true}, {u"-     rd/drknpf ", 0x0020, true},
                {u"-     rd/gruppe ", 0x0040, false}, {u"-  freigabeflag ", 0x0080, true},
                {u"-      p94/ADAU ", 0x0100, false}, {u"-           GST ", 0x0200, false}};
  for (const auto& l : kLocks)
    out << indent + QString::fromUtf16(l.label) + Hex4(locks & l.mask) + (l.lock ? u" *"_s : QString());
  out << u"  +    lsutest 0x"_s + Hex4(W(r, 10));
  FeuerwehrToFlags1(r, u"  + "_s, indent, out);
  out << u"  +         - NO_KB_ERROR   "_s + Hex2(B(r, 21) & 0x01);
}

void PrintSysVarShort(const QByteArray& r, QStringList& out) {
  out << QString() << QString();
  out << u"        mocx "_s + QString::number(B(r, 0));
  out << u"         moc "_s + QString::number(B(r, 1));
  out << u"    richtung 0x"_s + Hex2(B(r, 2));
  out << u"       modus 0x"_s + Hex2(B(r, 3)) + u"  "_s + BitString8(B(r, 3));
  out << u"       flags 0x"_s + Hex2(B(r, 4)) + u"  "_s + BitString8(B(r, 4));
  const QString indent(10, u' ');
  FlagsToFeuerwehr(r, indent, false, out);
  out << u"  adrsperren 0x"_s + Hex4(W(r, 8)) + u"  "_s + BitString16(W(r, 8));
  out << u"     lsutest 0x"_s + Hex4(W(r, 10));
  FeuerwehrToFlags1(r, u"  "_s, indent, out);
}

void PrintSysPerm(const QByteArray& r, QStringList& out) {
  SectionHeader(u"SYSPERM"_s, out);
  out << u"  +00   powerfail "_s + Dec2(B(r, 0));
  out << u"  +01       etage "_s + Dec2(B(r, 1));
  out << u"  +02      nCn[0] "_s + Dec4(W(r, 2));
  out << u"  +04      nCn[1] "_s + Dec4(W(r, 4));
  out << u"  +06      nCn[2] "_s + Dec4(W(r, 6));
  out << u"  +08     systime "_s + Dec5(W(r, 8)) + u' ' + FormatTwoSecondsSpaced(W(r, 8));
  out << u"  +10     sysdate "_s + Dec5(W(r, 10)) + u' ' + FormatDayNumber(W(r, 10));
  out << u"  +12       FZ_tr "_s + Dec5(W(r, 12));
  out << u"  +14 FZhi(10000) "_s + Dec5(W(r, 14));
  out << u"  +16 FZlo (9999) "_s + Dec5(W(r, 16));
  out << u"  +18     BShi_tr "_s + Dec4(W(r, 18));
  out << u"  +20   BShi(Std) "_s + Dec4(W(r, 20));
  out << u"  +22   BSlo(Sek) "_s + Dec4(W(r, 22));
  out << u"  +24      unlock "_s + Dec2(B(r, 24));
  out << u"  +25      riport "_s + Dec2(B(r, 25));
  const uint8_t kb = B(r, 26);
  out << u"  +26      kbinfo "_s + Dec2(kb);
  out << u"     0  -         kbKU "_s + Dec2(kb & 0x01);
  out << u"     1  -         kbKO "_s + Dec2(kb & 0x02);
  out << u"     2  -"_s;
  out << u"     3  -    kbTURLOCK "_s + Dec2(kb & 0x08);
  out << u"     4  -"_s;
  out << u"     5  -      kbDELAY "_s + Dec2(kb & 0x20);
  out << u"     6  - kbCNTPROBLEM "_s + Dec2(kb & 0x40);
  out << u"     7  -     kbFREEZE "_s + Dec2(kb & 0x80);
  const uint8_t wartung = B(r, 27);
  out << u" +27     wartung "_s + Dec2(wartung);
  out << u"     2  -         BSTD "_s + Dec2(wartung & 0x02);
  out << u"     3  -           FZ "_s + Dec2(wartung & 0x04);
  out << u"     4  -        PANIC "_s + Dec2(wartung & 0x08);
  out << u"     5  -        TIMER "_s + Dec2(wartung & 0x10);
  out << u" +28      chksum "_s + Dec4(W(r, 28));
  out << QString();
}

void PrintShaft(const QByteArray& r, QStringList& out) {
  SectionHeader(u"SHAFT.DATA"_s, out);
  out << u"         ok  "_s + QString::number(B(r, 0));
  out << u"     result  "_s + QString::number(B(r, 1));
  out << u"    version  "_s + QString::number(B(r, 2));
  out << u"     dummy3  "_s + QString::number(B(r, 3));
  int entries = 0;
  while (entries < 40 && B(r, 5 + 2 * entries) != 0) ++entries;
  for (int i = 0; i < entries; ++i)
    out << QString::asprintf("    tab[%2.2d]  auf=%2.2u ab=%2.2u", i, B(r, 4 + 2 * i), B(r, 5 + 2 * i));
  for (int i = 0; i < entries; ++i)
    out << QString::asprintf("    time[%d]  %4.4u MSec", i, W(r, 84 + 2 * i) * 20u);
  out << u"    ChkSum  "_s + Dec4(W(r, 164));
}

void PrintMonBlock(const QByteArray& r, QStringList& out) {
  static const char16_t* const kModes[] = {u" normal",    u" prio.aussen", u" prio.innen",  u" fernabschaltung",
                                           u" brandfall", u" lsu",         u" rückholung", u" inspektion"};
  static const char16_t* const kDirections[] = {u"keine Richtung", u"Richtung: AUF", u"Richtung: AB", u""};
  SectionHeader(u"MONBLOCK"_s, out);
  out << u" "_s;
  out << u"    D-0.prio    "_s + QString::fromUtf16(kModes[B(r, 0) & 0x07]);
  out << u"    D-0.richt.  "_s + QString::fromUtf16(kDirections[(B(r, 0) & 0x18) >> 3]);
  out << u"    D-1.etage   "_s + Dec2(B(r, 1));
  out << u"    D-2.ziel    "_s + Dec2(B(r, 2));
  out << u"    D-3   "_s + BitString8(B(r, 3));
  out << u"    D-4   "_s + BitString8(B(r, 4));
  out << u"    D-5   "_s + BitString8(B(r, 5));
  out << QString();
}

void PrintIoPorts(const QByteArray& r, QStringList& out) {
  SectionHeader(u"IOPORTS"_s, out);
  out << u" "_s;
  out << u"             8 7 6 5 4 3 2 1"_s << u"             ---------------"_s;
  out << u"    Port-0   "_s + BitString8(B(r, 0));
  out << u"    Port-1   "_s + BitString8(B(r, 1));
  out << u"    Port-3   "_s + BitString8(B(r, 2));
  out << QString();
}

void PrintShiftStatus(const QByteArray& r, QStringList& out) {
  SectionHeader(u"SHIFT-STATUS"_s, out);
  out << u" "_s;
  out << DecimalList(u"  SA4_SHIFT : "_s, r, 0, 5);
  out << DecimalList(u"   KB_SHIFT : "_s, r, 15, 20);
  out << DecimalList(u"   TA_SHIFT : "_s, r, 30, 35);
  out << DecimalList(u"   RD_SHIFT : "_s, r, 45, 50);
  out << HexList(u"     DD_REG : "_s, r, 60, 74);
  out << HexList(u"     FD_REG : "_s, r, 75, 89);
  out << QString::asprintf(" tzust/tfg  : [%2.2u/%2.2u]/[%2.2u/%2.2u]", B(r, 120), B(r, 105), B(r, 121),
                           B(r, 106));
  SectionHeader(u"rTUR"_s, out);
  static const struct {
    const char16_t* label;
    int offset;
  } kTur[] = {{u"     rTur.to : ", 90}, {u"       .from : ", 91}, {u"       .type : ", 92},
              {u"      .start : ", 95}, {u" .startreply : ", 96}, {u"     .turfkt : ", 97},
              {u"     .turreq : ", 98}, {u"    .turstat : ", 100}};
  for (const auto& t : kTur) out << HexList(QString::fromUtf16(t.label), r, t.offset, t.offset);
  out << u" "_s;
}

void PrintShiftStatusFailed(const QString& failure, QStringList& out) {
  SectionHeader(u"SHIFT-STATUS"_s, out);
  out << failure;
}

void PrintCallsMap(const QByteArray& r, const QString& title, int count, QStringList& out) {
  SectionHeader(title, out);
  for (int row = 0; row < count / 16; ++row) {
    QString line = QString::asprintf("%4.4d ", row * 16);
    for (int i = 0; i < 16; ++i) {
      if (i == 8) line += u"- "_s;
      line += Hex2(B(r, row * 16 + i)) + u' ';
    }
    out << line;
  }
}

}  // namespace ulv
