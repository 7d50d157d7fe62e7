// The port image listing: PortTable, the two-bit fields and PrintPorts.
#include "common/bytes.h"
#include "system/system_records.h"

using namespace Qt::StringLiterals;

namespace ulv {

namespace {

struct PortBit {
  const char16_t* terminal;
  const char16_t* signal;
};

struct Port {
  const char16_t* name;
  PortBit bits[8];
};

// Rows not listed bit by bit (port 74 bits 2-5, port 75 bits 4-7) stay empty.
const Port kPorts[kPortsSize] = {
    {u"72",
     {{u"   ", u"* Prozessor Watchdog"},
      {u"   ", u"  24V Überwachung"},
      {u"122", u"  Schütz-Überwachung"},
      {u"119", u"  Türkontakt A geschlossen"},
      {u"116", u"  Türkontakt B geschlossen"},
      {u"114", u"  Türkontakt geschlossen"},
      {u"112", u"* Nothalt"},
      {u"111", u"  Sperrmittel (Riegel) geschlossen"}}},
    {u"73",
     {{u"209", u"  Inspektion"},
      {u"214", u"  Rückholung"},
      {u"213", u"  Rück/Insp AB"},
      {u"212", u"  Rück/Insp AUF"},
      {u"[310]", u"  Insp. SCHNELL"},
      {u"X300.29", u"* Fernabschaltung"},
      {u"X300.10", u"* Prio Aussen"},
      {u"X300.28", u"* Brandfall"}}},
    {u"74",
     {{u"230", u"* Zonen Eingang"},
      {u"229", u"  Außendrücker Freigabe"},
      {u"", u""},
      {u"", u""},
      {u"", u""},
      {u"", u""},
      {u"[353]", u"  Lichtschranke B"},
      {u"[360]", u"  Lichtschranke A"}}},
    {u"75",
     {{u"X300.11", u"[350]  *Tür B Endschalter ZU"},
      {u"X300.44", u"[349]  *Tür B Endschalter AUF"},
      {u"X300.42", u"[357]  *Tür A Endschalter ZU"},
      {u"X300.26", u"[356]  *Tür AEndschalter AUF"},
      {u"", u""},
      {u"", u""},
      {u"", u""},
      {u"", u""}}},
    {u"77",
     {{u"216", u"i/o-01 *"},
      {u"217", u"i/o-02 * ÜBERLAST"},
      {u"218", u"i/o-03 * AUFZUG STILLGESETZT"},
      {u"219", u"i/o-04 * ZWANGSHALT"},
      {u"220", u"i/o-05 * BRANDFALL"},
      {u"221", u"i/o-06 * Störmeldung"},
      {u"222", u"i/o-07 * Störmeldung/AWE"},
      {u"223", u"i/o-08 * Störmeldung(Einzel oder Sammel)"}}},
    {u"81",
     {{u"X300.03", u"[370]\tKU"},
      {u"X300.20", u"[371]\tKO"},
      {u"X300.37", u"[369]\tAUF"},
      {u"X300.35", u"[367]\tBündig B"},
      {u"X300.36", u"[368]\tAB"},
      {u"X300.34", u"[366]\tBündig A"},
      {u" ", u"nicht angeschlossen"},
      {u" ", u"nicht angeschlossen"}}},
    {u"90",
     {{u"X220.18", u"i/o-08 "},
      {u"X220.16", u"i/o-09 "},
      {u"X220.14", u"i/o-10 "},
      {u"X220.12", u"i/o-11 "},
      {u"X220.10", u"i/o-12 BRON hart verdrahtet"},
      {u"X220.08", u"i/o-13 Einzelstörmeldung"},
      {u"X220.06", u"i/o-14 Einzelstörmeldung"},
      {u"X220.04", u"i/o-15 Einzelstörmeldung"}}},
    {u"91",
     {{u"X220.17", u"i/o-16\t"},
      {u"X220.15", u"i/o-17\t"},
      {u"X220.13", u"i/o-18\t"},
      {u"X220.11", u"i/o-19\t"},
      {u"X220.09", u"i/o-20\t"},
      {u"X220.07", u"i/o-21\t"},
      {u"X220.05", u"i/o-22\t"},
      {u"X220.03", u"i/o-23\t"}}},
    {u"A1",
     {{u"X300.28", u"[334] Innendrücker Freigabe"},
      {u"FP.5", u"UMFP  Umgehung"},
      {u"FP.6", u"TUFP  Tür Umgehung"},
      {u"FP.7", u"INRU  Inspektion/Rückholung"},
      {u"FP.8", u"V0FP  V0"},
      {u"FP.9", u"V1FP  V1"},
      {u"108", u"K107  Laufzeit Überwachung ein"},
      {u"203", u"24V-enable"}}},
    {u"A2",
     {{u"104", u"K103 FP.10 Antrieb/Schnell (verknüpft mit KO+KU)"},
      {u"113", u"K106 Kurve"},
      {u"105", u"K102 AB"},
      {u"106", u"K101 AUF"},
      {u"110", u"K113 Umgehung"},
      {u"103", u"K104 Seil: Langsam     Hydr: Stern"},
      {u"102", u"K105 Seil: Bremse      Hydr: Dreieck"},
      {u"107", u"K100 Seil: Schütze     Hydr: Freigabe"}}},
    {u"A3",
     {{u"117", u"K109\t   Tür-A: AUF"},
      {u"118", u"K108\t   Tür-A: ZU"},
      {u"120", u"K111\t   Tür-B: AUF"},
      {u"121", u"K110\t   Tür-B: ZU"},
      {u"231", u"          Zonen Freigabe"},
      {u"X401.04", u"          EWG-Gong Trigger"},
      {u"228", u"X300.40   Kabinen Licht"},
      {u"X300.08", u"[363]     Gong+Zwangsschliessung"}}},
    {u"A4",
     {{u" ", u"nicht angeschlossen"},
      {u" ", u"nicht angeschlossen"},
      {u"X400.15", u"* KabRichtung: AUF X408.15"},
      {u"X400.16", u"* KabRichtung: AB  X408.16"},
      {u"X400.09", u"* Außendrücker Freigabe"},
      {u"X400.35", u"* Besetzt Anzeige  X400.36 X400.17 238 (J1)"},
      {u" ", u"nicht angeschlossen"},
      {u" ", u"nicht angeschlossen"}}},
    {u"A5",
     {{u"[342]", u"Etagenanzeige-0"},
      {u"[341]", u"Etagenanzeige-1"},
      {u"[340]", u"Etagenanzeige-2"},
      {u"[339]", u"Etagenanzeige-3"},
      {u"[338]", u"Etagenanzeige-4"},
      {u"[337]", u"Etagenanzeige-5"},
      {u"[336]", u"Etagenanzeige-6"},
      {u"[335]", u"Etagenanzeige-7"}}},
    {u"A6",
     {{u"X401.08", u"Etagenanzeige-0"},
      {u"X401.15", u"Etagenanzeige-1"},
      {u"X401.16", u"Etagenanzeige-2"},
      {u"X401.14", u"Etagenanzeige-3"},
      {u"X401.06", u"Etagenanzeige-4"},
      {u"X401.13", u"Etagenanzeige-5"},
      {u"X401.05", u"Weiterfahrts Richtung AUF"},
      {u"X401.12", u"Weiterfahrts Richtung AB"}}},
};

struct FieldValue {
  const char16_t* name;
  const char16_t* code;
  const char16_t* text;
};

// The four values of a two-bit field, in the order of the field's value.
const FieldValue kKeySwitch[4] = {{u"[348]", u"00", u"Prio Innen"},
                                  {u"[346]", u"01", u"Feuerwehr"},
                                  {u"[347]", u"10", u"Außendr.sperren"},
                                  {u"", u"11", u"inaktiv"}};
const FieldValue kCarLoad[4] = {{u"[314]", u"00", u"Überlast"},
                                {u"[316]", u"01", u"Vollast"},
                                {u"[315]", u"10", u"Minimallast"},
                                {u"", u"11", u"inaktiv"}};
const FieldValue kDoorB[4] = {{u"", u"00", u"inaktiv"},
                              {u"[355]", u"01", u"Stop"},
                              {u"[351]", u"10", u"Tür Drücker ZU"},
                              {u"[352]", u"11", u"Tür Drücker AUF (Rücklaufkontakt)"}};
const FieldValue kDoorA[4] = {{u"", u"00", u"inaktiv"},
                              {u"[362]", u"01", u"Stop"},
                              {u"[358]", u"10", u"Tür Drücker ZU"},
                              {u"[359]", u"11", u"Tür Drücker AUF (Rücklaufkontakt)"}};

void BitLines(const Port& port, uint8_t v, int from, int to, QStringList& out) {
  for (int bit = from; bit <= to; ++bit) {
    out << PortLine(QString::fromUtf16(port.bits[bit].terminal), (v >> bit) & 1 ? u"1"_s : u"0"_s,
                    QString::fromUtf16(port.bits[bit].signal));
  }
}

void FieldLine(const FieldValue (&field)[4], unsigned index, QStringList& out) {
  const FieldValue& f = field[index & 3];
  out << PortLine(QString::fromUtf16(f.name), QString::fromUtf16(f.code), QString::fromUtf16(f.text));
}

}  // namespace

QString PortLine(const QString& name, const QString& code, const QString& text) {
  return u"  "_s + name.leftJustified(8) + u" : "_s + code + u"   "_s + text;
}

void PrintPorts(const QByteArray& record, QStringList& out) {
  for (int i = 0; i < kPortsSize; ++i) {
    const Port& port = kPorts[i];
    const uint8_t v = ReplyByte(record, i);
    const QString name = QString::fromUtf16(port.name);
    out << u" "_s;
    out << u"_____Port["_s + name + u"]="_s + BitString8(v) + QString(19, u'_');
    out << u" "_s;
    if (name == u"74") {
      BitLines(port, v, 0, 1, out);
      out << u"  X300.19+X300.02  (\"PAF\" 2 Bit Kabinenschlüssel)"_s;
      FieldLine(kKeySwitch, (v & 0x0C) >> 2, out);
      out << u"  X300.01+X300.18  (\"MVU\" 2 Bit Kabinen-Last)"_s;
      FieldLine(kCarLoad, (v & 0x30) >> 4, out);
      BitLines(port, v, 6, 7, out);
    } else if (name == u"75") {
      BitLines(port, v, 0, 3, out);
      out << u"  X300.27+ X300.43  TürDrücker-B"_s;
      FieldLine(kDoorB, (v & 0x30) >> 4, out);
      out << u"  X300.25+ X300.09  TürDrücker-A"_s;
      FieldLine(kDoorA, (v & 0xC0) >> 6, out);
    } else {
      BitLines(port, v, 0, 7, out);
    }
  }
}

}  // namespace ulv
