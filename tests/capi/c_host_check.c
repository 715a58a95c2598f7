/*
 * A plain C host: compiles against the public header alone, loads nothing
 * but the library it is linked with, and runs one cycle in a fresh working
 * directory.  Exits 0 when every check holds.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "tessaro.h"

struct Counts {
  int records;
  int cycleBegin;
  int cycleEnd;
};

static int onRecord(void* ctx, int channel, OutputRecord* record, intptr_t user) {
  struct Counts* counts = (struct Counts*)user;
  (void)ctx;
  counts->records++;
  if (channel == 0 && record->code == 103) counts->cycleBegin++;
  if (channel == 0 && record->code == 104 && strcmp(record->body.text.name, "cycleEnd") == 0) {
    counts->cycleEnd++;
  }
  return 1;
}

#define CHECK(cond)                                                            \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      return 1;                                                                \
    }                                                                          \
  } while (0)

int main(void) {
  char dir[] = "/tmp/tessaro-c-host-XXXXXX";
  struct Counts counts = {0, 0, 0};
  HostCallbackSet set;
  char opt[] = "-Sjob";
  char* argv[1];
  void* ctx;
  int ran, status;
  FILE* job;

  CHECK(sizeof(OutputRecord) == 784);
  CHECK(sizeof(HostCallbackSet) == 6 * sizeof(void*));
  CHECK(mkdtemp(dir) != NULL);
  CHECK(chdir(dir) == 0);
  /* The keys every job of the default cycle must name. */
  job = fopen("job.pcf", "w");
  CHECK(job != NULL);
  fputs("polySource := model.3df\ntoolDiameter := 10\n", job);
  fclose(job);

  memset(&set, 0, sizeof set);
  set.fn0 = onRecord;
  set.user0 = (intptr_t)&counts;
  argv[0] = opt;
  ctx = qzCSgetCycle();
  CHECK(ctx != NULL);
  ran = qzCSexecCycle(ctx, 1, argv, &set);
  status = qzCSgetSignal(ctx);
  CHECK(ran == 1);
  /* 1: the profile cycle has no path driver for the job yet. */
  CHECK(status == 1);
  CHECK(counts.records > 0);
  CHECK(counts.cycleBegin == 1);
  CHECK(counts.cycleEnd == 1);
  CHECK(qzCSsetSignal(ctx, 100) == 0);
  CHECK(qzCSsetSignal(NULL, 0) == 100);

  remove("job.pcf");
  CHECK(chdir("/") == 0);
  rmdir(dir); /* empty unless the run wrote files; a leftover is harmless */
  return 0;
}
