/*
 * tessaro: 3D finishing tool paths for milling.
 *
 * The host program loads libtessaro.so and drives it through the four
 * functions below.  A run is one call of qzCSexecCycle with an argument
 * vector; its output reaches the host as records on numbered channels through
 * the callbacks of a HostCallbackSet, and its outcome through the status word.
 *
 * Threads: the library starts no threads for this interface, but the
 * computation runs OpenMP parallel loops, and a few display records (channels
 * 41 and 42) are sent from those worker threads.  The library serialises its
 * calls into the host, so no two callbacks of one run overlap, but a callback
 * may arrive on a thread other than the one that called qzCSexecCycle.
 * qzCSsetSignal may be called from any thread at any time.
 */
#ifndef TESSARO_H
#define TESSARO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * One output record, 784 bytes, little-endian.  It is valid only during the
 * callback that receives it.
 *
 * Text records (status, settings echo, comments, arguments, variables) hold
 * NUL-terminated texts: name at byte 8, value at byte 264, text3 at byte 520.
 * Marker, geometry and NC records use the same bytes for numbers (for
 * example a rapid move 3103 holds x, y, z as doubles at bytes 40, 48, 56);
 * read them with memcpy from the record's start.
 */
typedef struct OutputRecord {
  int32_t code;
  int32_t reserved;
  union {
    struct {
      char name[256];
      char value[256];
      char text3[256];
    } text;
    unsigned char bytes[776];
    double align_;
  } body;
} OutputRecord;

/*
 * A host function receives the context handle of the run, the channel
 * number, the record and the user value given beside it.  Its result is
 * ignored.
 */
typedef int (*HostRecordFn)(void* ctx, int channel, OutputRecord* record, intptr_t user);

/*
 * The callbacks of one run.  fn0 receives channels 0, 10, 11, 12, 31, 35, 41
 * and 42; fn1 receives channels 0, 1 and 2; fn2 receives channels 3 and 40.
 * A null function is skipped.  Nothing is delivered in kFY output mode (-PCF).
 * The set is read during the run only; the caller keeps it alive until
 * qzCSexecCycle returns.
 */
typedef struct HostCallbackSet {
  HostRecordFn fn0;
  intptr_t user0;
  HostRecordFn fn1;
  intptr_t user1;
  HostRecordFn fn2;
  intptr_t user2;
} HostCallbackSet;

/* The default context (the profile finishing cycle).  Never freed. */
void* qzCSgetCycle(void);

/*
 * Runs one cycle on ctx (null: the default context) with the options in argv
 * (argv[0] is an option or argument like every other entry, not a program
 * name).  Returns 1 when the run was set up, whatever its phases then did,
 * and 0 when it was refused: a ninth nested call, a call for a context whose
 * run is still in progress (from one of its callbacks), a call from another
 * thread while a run is in progress, a parent cycle of another interface
 * version, or settings that could not be loaded.  The outcome of a run that
 * was set up is the status word (qzCSgetSignal).
 */
int qzCSexecCycle(void* ctx, int argc, char** argv, HostCallbackSet* callbacks);

/*
 * Stores value in the signal word of ctx (null: the default context) and
 * returns the previous one.  A running cycle stops at its next break poll
 * when the word is 100 (stop) or 104.
 */
int qzCSsetSignal(void* ctx, int value);

/* The status word of ctx after its last run: 0 done, nonzero failed or
 * stopped. */
int qzCSgetSignal(void* ctx);

#ifdef __cplusplus
}
#endif

#endif /* TESSARO_H */
