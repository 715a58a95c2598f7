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
 * callback that receives it; copy what you keep.  The first 4 bytes hold the
 * record code, bytes 4 to 7 are zero, and the rest is laid out by family.
 * Read numbers with memcpy from the record's start (offsets below are from
 * byte 0); i32 is a 32-bit integer, f64 a double.
 *
 * Text records: NUL-terminated texts of at most 255 characters, name at byte
 * 8, value at 264, text3 at 520.
 *   100  status value      name, value (for example "cycleFct")
 *   101  error             value "number,text" of a numbered message
 *   102  abort             the run stops (name, value say why)
 *   103  cycle begin       name "cycle", value the cycle title
 *   104  cycle end         name "cycleEnd", value the cycle title
 *   110  layers            value: the channels the run writes, "3,30,..."
 *   112  settings source   name "cfgSource", value the settings file
 *   201  call              settings echo of a parameter of the run,
 *                          value "\"name\":=\"value\""
 *   202  def               the same for a default of the cycle
 *   203  loc               the same for a variable the run sets
 *   204  cfg               one keyword line of a ".CFG" file
 *   301  argument          name, value of one tool or run argument
 *   1001 comment           value
 *   3131 variable          name, value
 *   3199 raw text          value, written as it stands
 *   4101 NC text           value, one NC block
 * Marker records (channel 12): i32 number at 8, i32 kind at 12, name text at
 * 16, data text at 272, usage text at 528 (texts of at most 254 characters).
 *   5001 begin, 5002 end, 5003 clear, 5004 clear all, 5005 move kind
 * Geometry records (channels 30, 31, 33, 35, 36, 41): i32 flag at 8, point
 * x, y, z as f64 at 40, 48, 56, a second vector u, v, w (tool axis, arc
 * centre) at 64, 72, 80.
 *   3001 contour begin, 3002 contour end
 *   3101-3103 rapid xy / z / xyz, 3105 rapid x, 3106 rapid y, 3108 rapid uv
 *   3104 drill point (i32 size flag at 8, size at 80)
 *   3111-3113 line xy / z / xyz, 3115 line x, 3116 line y, 3117 line uv
 *   3121 arc xy, 3122 arc xyz (i32 direction at 8, centre at 64-80)
 *   3141 position z
 * Axis-flagged records (3107 rapid, 3109 rapid 5-axis, 3114 line, 3118 line
 * 5-axis, 4007, 4016, 4019, 4020): i32 presence flags of x, y, z at 8, 12,
 * 16 with the values as f64 at 24, 32, 40, and of u, v, w at 48, 52, 56
 * with the values at 64, 72, 80.
 * NC records (channel 32): x, y, z as f64 at 8, 16, 24, the arc centre I, J,
 * K (u, v for 4017 and 4018) at 32, 40, 48.
 *   4001-4003 rapid xy / z / xyz, 4004-4006 line xy / z / xyz,
 *   4008/4009 arc clockwise / counter-clockwise, 4010/4011 the same with z,
 *   4012/4013 rapid x / y, 4014/4015 line x / y, 4017 rapid uv, 4018 line
 *   uv, 4041 G100 z
 * Display point (channel 42): 7001, i32 0 at 8, the point as three f64 at
 * 16, then again at 40 and at 64.
 *
 * Channels: 0 status (100-112), 1 settings echo (201-204), 2 comments
 * (1001), 3 NC marks (a record whose code only marks the place), 10 arguments (301), 11 variables (3131), 12 markers
 * (5001-5005), 30 drill points, 31 the contour of the tool path (3001-3199),
 * 32 NC blocks (4001-4101), 33 the original path, 35 and 36 further
 * geometry, 40 reserved for the host, 41 display polylines, 42 display
 * points.  Which function of the HostCallbackSet receives which channel is
 * said at the set.
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
 * A null function is skipped, and a null set (no callbacks at all) is
 * allowed.  Nothing is delivered in kFY output mode (-PCF).  The set is read
 * during the run only; the caller keeps it alive until qzCSexecCycle returns.
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
 * name).  argv is only read, never changed or kept.  Returns 1 when the run
 * was set up, whatever its phases then did, and 0 when it was refused: a
 * ninth nested call, a call for a context whose run is still in progress
 * (from one of its callbacks), a call from another thread while a run is in
 * progress, a parent cycle of another interface version, or settings that
 * could not be loaded.  The outcome of a run that was set up is the status
 * word (qzCSgetSignal).
 *
 * Files: settings files named by relative paths are read from the working
 * directory; the POF output goes to standard output, or is appended to the
 * POF file the settings name; kFY output (-PCF) and the files a run writes
 * for itself are written in the working directory.
 */
int qzCSexecCycle(void* ctx, int argc, char** argv, HostCallbackSet* callbacks);

/*
 * Stores value in the signal word of ctx (null: the default context) and
 * returns the previous one.  A running cycle stops at its next break poll
 * when the word is 100 (stop) or 104.
 */
int qzCSsetSignal(void* ctx, int value);

/*
 * The status word of ctx after its last run:
 *   0    done
 *   1    failed (a phase failed, the settings could not be read, or a
 *        computation reported an error)
 *   100  stopped by the signal word (100 or 104, see qzCSsetSignal)
 * While a run is in progress the word reads 0 until the run ends.
 */
int qzCSgetSignal(void* ctx);

#ifdef __cplusplus
}
#endif

#endif /* TESSARO_H */
