#include "output/adapter/spline_output.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "base/messages.h"
#include "output/adapter/path_output.h"

namespace {

// v for a printf field of `decimals` decimals: a value that rounds to zero
// is written as 0, never as "-0.0000".
double printable(double v, int decimals) {
  return std::fabs(v) < 0.5 * std::pow(10.0, -decimals) ? 0.0 : v;
}

void line(const char* format, double a, double b, double c, double d) {
  char buf[256];
  std::snprintf(buf, sizeof buf, format, printable(a, 4), printable(b, 4), printable(c, 4),
                printable(d, 4));
  outRawNcLine(buf);
}

void line1(const char* format, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, printable(v, 4));
  outRawNcLine(buf);
}

void lineInt(int v) { outRawNcLine(std::to_string(v).c_str()); }

bool cubic(const Spline3dSeg& s) {
  if (s.order == 4 && s.cx.size() == 4 && s.cy.size() == 4 && s.cz.size() == 4) return true;
  msgTraceInt(9, "Spline ist nicht kubisch : %d", s.order);
  return false;
}

std::string polyTerm(char axis, const std::vector<double>& c) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "PO[%c]=(%7.4lf,%7.4lf,%7.4lf)", axis,
                printable(c[0] + c[1] + c[2] + c[3], 4), printable(c[2], 4), printable(c[3], 4));
  return buf;
}

}  // namespace

int spline3dWriteDSpline(const Spline3dRec* spline, const Spline3dLenTable* table, double feed) {
  if (spline == nullptr || table == nullptr) return 1;
  for (int i = 0; i < spline->segCount; ++i) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "#D_SPLINE[%d,%d]", 2 * i, 2 * i + 1);
    outRawNcLine(buf);
  }
  outRawNcLine("(------ DATA -----)");
  for (int i = 0; i < spline->segCount; ++i) {
    const Spline3dSeg& s = spline->segs[i];
    if (!cubic(s)) return 1;
    lineInt(2 * i);
    line1("t%.4lf", 0.0);
    for (const std::vector<double>* c : {&s.cx, &s.cy, &s.cz}) {
      line("%.4lf %.4lf %.4lf %.4lf", (*c)[0], (*c)[1], (*c)[2], (*c)[3]);
    }
    line1("t%.4lf", 1.0);
    const bool inTable = i < table->count && table->entries[i].coefficients.size() == 4;
    const Spline3dLenEntry empty{4, {0, 0, 0, 0}, 0, 0};
    const Spline3dLenEntry& e = inTable ? table->entries[i] : empty;
    line1("%.4lf", e.length);
    line("%.4lf %.4lf %.4lf %.4lf", e.coefficients[0], e.coefficients[1], e.coefficients[2],
         e.coefficients[3]);
    line1("F%.4lf", feed);
    lineInt(2 * i + 1);
    line("%.4lf %.4lf %.4lf %.4lf", 0, 0, 0, 0);
    line("%.4lf %.4lf %.4lf %.4lf", 0, 0, 0, 0);
    line("%.4lf %.4lf %.4lf %.4lf", 1, 0, 0, 0);
  }
  return 1;
}

int spline3dWritePoly(const Spline3dRec* spline, double) {
  if (spline == nullptr) return 1;
  for (int i = 0; i < spline->segCount; ++i) {
    const Spline3dSeg& s = spline->segs[i];
    if (!cubic(s)) return 1;
    if (i == 0) {
      char buf[128];
      std::snprintf(buf, sizeof buf, "G1 X%.3lf Y%.3lf Z%.3lf", printable(s.cx[0], 3),
                    printable(s.cy[0], 3), printable(s.cz[0], 3));
      outRawNcLine(buf);
    }
    const std::string text = std::string(i == 0 ? "POLY " : "") + polyTerm('X', s.cx) +
                             polyTerm('Y', s.cy) + polyTerm('Z', s.cz);
    outRawNcLine(text.c_str());
  }
  return 1;
}
