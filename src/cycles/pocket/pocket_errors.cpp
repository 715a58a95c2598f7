#include "cycles/pocket/pocket_errors.h"

#include "base/messages.h"

namespace {

constexpr int kPocketMessageLevel = 9;

const PocketErrorRow kRows[kPocketErrorRowCount] = {
    {1, -1, 1001, "* Pflichtparameter fehlt"},
    {2, -1, 1002, "* Zu kleines Zustellmaß"},
    {3, -1, 1003, "* Dimensionen können nicht berechnet werden"},
    {4, -1, 1004, "* kFY-Werteverwaltung kann nicht angelegt werden"},
    {5, -1, 1005, "* Quelldatei mit Geometrie ist nicht bekannt (-> geoSource). "},
    {6, -1, 1006, "* kFY-Datei kann nicht geöffnet werden"},
    {7, -1, 1007, "* kFY-Datei falscher Dateityp"},
    {8, -1, 1008, "* Vertikales Zustellmaß ist zu klein angegeben"},
    {100, 0, 1100, "* Syntaxfehler, Voreinstellungen wurden gewählt"},
    {1101, -1, 1101, "* Fehlerhafte Geometrieübergabe"},
    {1102, -1, 1102, "* Kontur nicht geschlossen"},
    {1103, -1, 1103, "* Nicht ausreichend Hauptspeicher verfügbar"},
    {1104, -1, 1104, "* Funktion noch nicht realisiert"},
    {1105, -1, 1105, "* Fehlerhafte Kontur"},
    {1106, -1, 1106, "* Interner Fehler bei der Konturenverwaltung"},
    {1107, -1, 1107, "* Fehler beim Lesen der Geometrien"},
    {1108, -1, 1108, "* Fehler beim Schreiben der Zyklenausgaben"},
    {1109, -1, 1109, "* Kontur ueberschneidet sich"},
    {1500, -1, 1500, "* Maximale Elementzahl von 3000 überschritten"},
    {1501, -1, 1501, "* Maximale Zahl der Konturen von 50 überschritten"},
    {1502, -1, 1502, "* Zustellmaß fehlerhaft angegeben"},
    {1503, -1, 1503, "* Maximale Anzahl von 350 der Schnittpunkte überschritten"},
    {1114, -1, 1114, "* Innnentaschen schneiden sich"},
    {1115, -1, 1115, "* Außentasche muß zuerst angewählt werden!"},
    {1116, -1, 1116, "* Keine geschlossene Polyline angewählt"},
    {1522, -1, 1522, "* Helix macro collides with pocket contours"},
    {1504, 0, 1504, "* Mehr als eine Bohrung erforderlich"},
    {1505, 0, 1505, "* Taschenkontur kann nicht vollständig umfahren werden"},
    {1506, 0, 1506, "* Inselkontur kann nicht vollständig umfahren werden"},
    {1507, 0, 1507, "* Fräser zu groß: keine Fräsbahnen können generiert werden"},
    {1508, 0, 1508, "* Insel liegt außerhalb der Tasche"},
    {1509, -1, 1509, "* Anzahl der Distanzpunkte von 300 überschritten"},
    {1510, 0, 1510, "* Fehlerhafte Tiefenzuordnung: Insel ohne Tasche"},
    {1511, -1, 1511, "* Interner nicht zuordenbarer Fehler"},
    {1514, 0, 1514, "* Fehler beim Schreiben der Restmaterial Info"},
    {1515, 0, 1515, "* Keine Restmaterial Info generiert"},
    {1516, 0, 1516, "* Fehler beim Lesen der Restmaterial Info"},
    {1517, 0, 1517, "* Zu großer Radius für Restmaterialbearbeitung"},
    {1518, 0, 1518, "* One small restmachining area skipped"},
    {1520, 0, 1520, "* Additional movements to remachine required"},
    {1521, 0, 1521, "* Tool corner radius too big for complete stepover"},
    {1191, -1, 1191, "* QX Taschenfehler"},
};

// The leading decimal number of text (after blanks), or -1 when there is
// none.
long leadingKey(const char* text) {
  if (text == nullptr) return -1;
  while (*text == ' ' || *text == '\t') ++text;
  if (*text < '0' || *text > '9') return -1;
  long key = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    // Keys are small; a longer run cannot match any row.
    if (key > 100000000) return -1;
    key = key * 10 + (*text - '0');
  }
  return key;
}

}  // namespace

const PocketErrorRow* pocketErrorTable() { return kRows; }

int pofPocketErrorMessage(const char* errorText) {
  const long key = leadingKey(errorText);
  for (const PocketErrorRow& row : kRows) {
    if (row.key == key) {
      msgNumberedReal(kPocketMessageLevel, row.number, row.text, 0.0);
      return row.result;
    }
  }
  msgNumbered(kPocketMessageLevel, kPocketErrorUnknown, "* Unknown Error : %s", errorText);
  return 0;
}
