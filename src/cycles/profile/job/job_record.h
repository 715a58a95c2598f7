// The profile cycle's job record: every parameter of a profile job, named
// by its job keyword ("*FRRADIUS"), the keyword table that maps keywords to
// fields, and the reading of job files and ".CFG" keyword lines into it.
//
// jobRecord holds the settings as they were read, in the job's own units;
// it keeps its values from one run to the next (a keyword that a run does
// not set keeps the previous value).  Cycle thread only.
#pragma once

#include <cstdint>

#include "formats/settings/job_keywords.h"

// The installation directory that *PRG_DIR names before a job sets it.
#ifndef TESSARO_INSTALL_DIR
#define TESSARO_INSTALL_DIR "/usr/local/share/tessaro"
#endif

// The fields in record order; each comment names the keyword and its
// synonyms.  Every member holds its initial value.
struct JobRecord {
  char approx[257] = {};                   // *APPROX
  char boundary[257] = {};                 // *BOUNDARY
  char profil[257] = {};                   // *PROFIL = *KFY
  char profil2[257] = {};                  // *PROFIL2 = *OFFSETPROFILE
  char bahnCrv[257] = {};                  // *BAHN_CRV
  char apt[257] = {};                      // *APT
  char report[257] = {};                   // *REPORT
  char description[257] = {};              // *DESCRIPTION
  char rifName[257] = {};                  // *RIF_NAME
  char rifInname[257] = {};                // *RIF_INNAME
  char modName[129] = "KORVANTA";          // *MOD_NAME
  char setName[129] = "1";                 // *SET_NAME
  double deltakurve = 5;                   // *DELTAKURVE
  double deltaflaeche = 0.5;               // *DELTAFLAECHE
  double frradius = 4;                     // *FRRADIUS
  double frbogen = {};                     // *FRBOGEN
  double xvorschub = 750;                  // *XVORSCHUB
  double zvorschub = 50;                   // *ZVORSCHUB
  int32_t maxfaces = 10000;                // *MAXFACES
  int16_t frtyp = 1;                       // *FRTYP
  int16_t bearbeitmodus = 1;               // *BEARBEITMODUS
  int16_t bearbeitricht = 1;               // *BEARBEITRICHT
  int16_t lauf = 2;                        // *LAUF
  int16_t bearbeitrand = 2;                // *BEARBEITRAND
  double vertzustel = 10000;               // *VERTZUSTEL = *STEP_DOWN
  double horizustel = 1;                   // *HORIZUSTEL = *HATCHDIST
  double zustellX = {};                    // *ZUSTELL_X
  double zustellY = {};                    // *ZUSTELL_Y
  double aufmass = {};                     // *AUFMASS
  double oberfl = 10000;                   // *OBERFL = *OBERFLAECHE
  double tief = -10000;                    // *TIEF
  double sichdist = 5;                     // *SICHDIST
  double sichebene = 100;                  // *SICHEBENE
  double wkzwechselZ = 100;                // *WKZWECHSEL_Z
  double wkzwechselX = {};                 // *WKZWECHSEL_X
  double wkzwechselY = {};                 // *WKZWECHSEL_Y
  double start = {};                       // *START
  double ende = {};                        // *ENDE
  double drehzahl = 2000;                  // *DREHZAHL
  int32_t wkznummer = 1;                   // *WKZNUMMER
  int16_t drehricht = 1;                   // *DREHRICHT
  int16_t kuehlmittel = 2;                 // *KUEHLMITTEL
  double auflmax = 1;                      // *AUFLMAX
  double auflmin = 0.05;                   // *AUFLMIN
  int16_t aufstieg = 1;                    // *AUFSTIEG
  int16_t macroStart = 1;                  // *MACRO_START
  int16_t macroEnd = 1;                    // *MACRO_END
  int16_t macroReturn = 1;                 // *MACRO_RETURN
  double macroSrad = 3;                    // *MACRO_SRAD
  double macroErad = 3;                    // *MACRO_ERAD
  double macroSabst = {};                  // *MACRO_SABST
  double macroEabst = {};                  // *MACRO_EABST
  double macroIwin = 10;                   // *MACRO_IWIN
  double macroAwin = {};                   // *MACRO_AWIN
  double macroSwin = 45;                   // *MACRO_SWIN
  double macroEwin = 45;                   // *MACRO_EWIN
  double macroTswin = {};                  // *MACRO_TSWIN
  double macroTewin = {};                  // *MACRO_TEWIN
  double macroTheight = 5;                 // *MACRO_THEIGHT
  int16_t macroTdir = -1;                  // *MACRO_TDIR
  double macroTrad = 5;                    // *MACRO_TRAD
  int16_t macroTmode = 2;                  // *MACRO_TMODE
  char a1[256] = {};                       // *A1 = *COMMENT
  char a2[256] = {};                       // *A2
  char a3[256] = {};                       // *A3
  char a4[256] = {};                       // *A4
  char a5[256] = {};                       // *A5
  char a6[256] = {};                       // *A6
  char a7[256] = {};                       // *A7
  char a8[256] = {};                       // *A8
  char a9[256] = {};                       // *A9
  char a10[256] = {};                      // *A10
  char z1[256] = {};                       // *Z1
  char z2[256] = {};                       // *Z2
  char z3[256] = {};                       // *Z3
  char z4[256] = {};                       // *Z4
  char z5[256] = {};                       // *Z5
  char z6[256] = {};                       // *Z6
  char z7[256] = {};                       // *Z7
  char z8[256] = {};                       // *Z8
  char z9[256] = {};                       // *Z9
  char z10[256] = {};                      // *Z10
  char axs[256] = "NONE";                  // *AXS
  int16_t reportClass = 1;                 // *REPORT_CLASS
  int16_t zustellArt = 1;                  // *ZUSTELL_ART
  double scalHeight = 0.1;                 // *SCAL_HEIGHT
  double zustMin = 0.05;                   // *ZUST_MIN
  int16_t toolTip = 2;                     // *TOOL_TIP
  int16_t rapidRepeat = 2;                 // *RAPID_REPEAT
  int16_t feedJump = 1;                    // *FEED_JUMP
  int16_t nciEoc = 1;                      // *NCI_EOC
  double stepMax = 10;                     // *STEP_MAX
  double stepMin = 0.005;                  // *STEP_MIN
  int16_t invRicht = {};                   // *INV_RICHT
  int16_t invZust = {};                    // *INV_ZUST
  int16_t ncDeb = {};                      // *NC_DEB
  int16_t delPrfbdy = 1;                   // *DEL_PRFBDY
  int16_t delApprox = {};                  // *DEL_APPROX
  double sichMaxdist = 10;                 // *SICH_MAXDIST
  double nckoO[3] = {};                    // *NCKO_O
  double nckoX[3] = {1, 0, 0};             // *NCKO_X
  double nckoY[3] = {0, 1, 0};             // *NCKO_Y
  double nckoZ[3] = {0, 0, 1};             // *NCKO_Z
  double wzkoO[3] = {};                    // *WZKO_O
  double wzkoX[3] = {1, 0, 0};             // *WZKO_X
  double wzkoY[3] = {0, 1, 0};             // *WZKO_Y
  double wzkoZ[3] = {0, 0, 1};             // *WZKO_Z
  int16_t x11 = 1;                         // *X11
  int16_t scalCount = 5;                   // *SCAL_COUNT
  int16_t reportLine = {};                 // *REPORT_LINE
  int16_t zustEilgang = {};                // *ZUST_EILGANG
  double profilMin = -10000;               // *PROFIL_MIN
  double profilMax = 1000;                 // *PROFIL_MAX
  int16_t scalMode = {};                   // *SCAL_MODE
  int16_t ncTrimm = 1;                     // *NC_TRIMM
  double fredAngle = 1;                    // *FRED_ANGLE
  double gridDist = 0.2;                   // *GRID_DIST
  double excentFactor = 2;                 // *EXCENT_FACTOR
  double profStep = 100;                   // *PROF_STEP
  double startpt[3] = {0, 0, -100000};     // *STARTPT
  int16_t boundMode = {};                  // *BOUND_MODE
  int16_t testOpti = {};                   // *TEST_OPTI
  double bndReduction = 0.2;               // *BND_REDUCTION
  char approxSel[257] = {};                // *APPROX_SEL
  int16_t ncBody = {};                     // *NC_BODY
  double frlaenge = 40;                    // *FRLAENGE
  int16_t zustBahn = {};                   // *ZUST_BAHN
  int16_t randomPoints = {};               // *RANDOM_POINTS
  char locDir[257] = {};                   // *LOC_DIR
  int16_t rifGen = 1;                      // *RIF_GEN
  char toolSet[257] = {};                  // *TOOL_SET
  char dir3df[257] = {};                   // *3DF_DIR
  char tmpDir[257] = {};                   // *TMP_DIR
  char rifDir[257] = {};                   // *RIF_DIR
  int16_t rifComplete = 1;                 // *RIF_COMPLETE
  int16_t bndOnly = {};                    // *BND_ONLY
  int16_t invProfil1 = {};                 // *INV_PROFIL1
  int16_t invProfil2 = {};                 // *INV_PROFIL2
  double planeOffs = {};                   // *PLANE_OFFS
  int16_t jobid = 1;                       // *JOBID
  int16_t inchMode = {};                   // *INCH_MODE = *INCH
  int16_t gridXy = 50;                     // *GRID_XY
  double precision = 0.01;                 // *PRECISION
  int16_t syncOk = {};                     // *SYNC_OK
  char nameSync[257] = {};                 // *NAME_SYNC
  int16_t heapSort = 1;                    // *HEAP_SORT
  double g0ColorRgb[3] = {1, 0, 0};        // *G0_COLOR_RGB = *RGB_G0
  double g1ColorRgb[3] = {1, 1, 0};        // *G1_COLOR_RGB = *RGB_G1
  int16_t gridMax = 400;                   // *GRID_MAX
  int16_t optDia = 1;                      // *OPT_DIA
  char prgDir[257] = TESSARO_INSTALL_DIR;  // *PRG_DIR
  int16_t slopeMode = {};                  // *SLOPE_MODE
  double slopeAngle = 45;                  // *SLOPE_ANGLE
  int16_t slopeBnd = 1;                    // *SLOPE_BND
  int16_t connectSmooth = {};              // *CONNECT_SMOOTH
  double totalToolLength = 100;            // *TOTAL_TOOL_LENGTH
  double cuttingLength = 50;               // *CUTTING_LENGTH
  double length1 = 50;                     // *LENGTH1
  double length2 = 30;                     // *LENGTH2
  double diameter1 = 30;                   // *DIAMETER1
  double diameter2 = 15;                   // *DIAMETER2
  double rvorschub = 50;                   // *RVORSCHUB
  double vvorschub = 50;                   // *VVORSCHUB
  int16_t crossOpti = {};                  // *CROSS_OPTI
  double tiltAngle = {};                   // *TILT_ANGLE = *ROT_ANGLE
  int16_t collCheck5ax = {};               // *COLL_CHECK_5AX = *COLL_CHECK
  double tiltMax = 89;                     // *TILT_MAX
  double tiltIpol = 5;                     // *TILT_IPOL
  int16_t tiltStrategy = 1;                // *TILT_STRATEGY = *TILT_MODE
  int16_t crossMode = 1;                   // *CROSS_MODE
  double offset = {};                      // *OFFSET
  char twinTable[256] = {};                // *TWIN_TABLE
  int16_t twinMode = {};                   // *TWIN_MODE
  double twinMax = 100000;                 // *TWIN_MAX
  int16_t contactFast = {};                // *CONTACT_FAST
  int16_t normalize = 1;                   // *NORMALIZE
  double normFactor = 1;                   // *NORM_FACTOR
  int16_t smoothNormal = {};               // *SMOOTH_NORMAL
  int16_t smoothCount = 5;                 // *SMOOTH_COUNT
  int16_t xreduce5ax = 1;                  // *XREDUCE_5AX
  double compAxval = 0.0001;               // *COMP_AXVAL
  double offset5ax = 1;                    // *OFFSET_5AX = *TILT_OFFSET
  char tiltCurve[257] = {};                // *TILT_CURVE
  int16_t profil3d = {};                   // *PROFIL_3D
  int16_t smooth5ax = {};                  // *SMOOTH_5AX
  double stepWin = 5;                      // *STEP_WIN
  int16_t avoidColl = 1;                   // *AVOID_COLL
  int16_t millIsland = 2;                  // *MILL_ISLAND
  double sinterval = 50;                   // *SINTERVAL
  int16_t clipColl = {};                   // *CLIP_COLL
  double clipHeight = 10;                  // *CLIP_HEIGHT
  double taperAngle = {};                  // *TAPER_ANGLE
  double taperHeight = {};                 // *TAPER_HEIGHT
  double slopeFlatAngle = {};              // *SLOPE_FLAT_ANGLE
  int16_t shaft5ax = 1;                    // *SHAFT_5AX
  double addOffset = {};                   // *ADD_OFFSET
  char add3df[257] = {};                   // *ADD_3DF
  double limitHeight = 99999;              // *LIMIT_HEIGHT
  int16_t planarCut = {};                  // *PLANAR_CUT
  int16_t ekselmode = -1;                  // *EKSELMODE
  int16_t keepTouch = {};                  // *KEEP_TOUCH
  double length3 = {};                     // *LENGTH3 = *HEAD_LENGTH2
  double length4 = {};                     // *LENGTH4 = *HEAD_LENGTH1
  double diameter3 = {};                   // *DIAMETER3 = *HEAD_DIAMETER2
  double diameter4 = {};                   // *DIAMETER4 = *HEAD_DIAMETER1
  char surface[257] = {};                  // *SURFACE
  int16_t skipFirstPath = {};              // *SKIP_FIRST_PATH
  double connectFactor = {};               // *CONNECT_FACTOR
  double tiltfixXy = {};                   // *TILTFIX_XY
  double tiltfixZ = {};                    // *TILTFIX_Z
  int16_t segOpt = {};                     // *SEG_OPT
  double segAngle = 45;                    // *SEG_ANGLE
  double segRadius = 1;                    // *SEG_RADIUS
  int16_t pivotSmooth = {};                // *PIVOT_SMOOTH
  double pivotHeight = 400;                // *PIVOT_HEIGHT
  double pvalue = 10;                      // *PVALUE
  double checkOffset = {};                 // *CHECK_OFFSET
  char check3df[257] = {};                 // *CHECK_3DF
  double dragAllowance = 0.3;              // *DRAG_ALLOWANCE
  double segHeight = 30;                   // *SEG_HEIGHT
  int16_t segSyncOk = {};                  // *SEG_SYNC_OK
  char segSync[257] = {};                  // *SEG_SYNC
  char facesDsc[257] = {};                 // *FACES_DSC
  double resolution = 0.001;               // *RESOLUTION
  int16_t tiltFixed = {};                  // *TILT_FIXED
  int16_t taperCheck = {};                 // *TAPER_CHECK
  int16_t taperAvoid = {};                 // *TAPER_AVOID
  int16_t spiral = 1;                      // *SPIRAL
  double tiltCenter = 5;                   // *TILT_CENTER
  int16_t flowCount = 1;                   // *FLOW_COUNT
  int16_t multiPoly = {};                  // *MULTI_POLY
  double tipLength = {};                   // *TIP_LENGTH
  double shaftDiameter = {};               // *SHAFT_DIAMETER
  double chamferLength = {};               // *CHAMFER_LENGTH
  int16_t holdcheck = {};                  // *HOLDCHECK
  int16_t holdcheckMode = {};              // *HOLDCHECK_MODE
  double holdcheckClearfactor = 1;         // *HOLDCHECK_CLEARFACTOR
  double holdcheckClearDiameter = 0;       // 2 x tool radius x clear factor (no keyword)
  int16_t backdraft = {};                  // *BACKDRAFT
  double clearAngle = {};                  // *CLEAR_ANGLE = *LVERSATZ
  char macroSname[257] = {};               // *MACRO_SNAME
  char macroEname[257] = {};               // *MACRO_ENAME
  int16_t flowDirect = {};                 // *FLOW_DIRECT
  int32_t extraCount = {};                 // *EXTRA_COUNT
  double extraTol = 0.01;                  // *EXTRA_TOL
  char extraKfy[257] = {};                 // *EXTRA_KFY = *EQUI_SURF
  char extra3df[257] = {};                 // *EXTRA_3DF
  char dllDir[257] = {};                   // *DLL_DIR
  int16_t mainform = {};                   // *MAINFORM
  int16_t allowMacroReverse = {};          // *ALLOW_MACRO_REVERSE
  int16_t tiltType = {};                   // *TILT_TYPE
  double gapOffset = {};                   // *GAP_OFFSET
  double gapWidth = {};                    // *GAP_WIDTH
  double trimOffset = {};                  // *TRIM_OFFSET
  int16_t clipSort = {};                   // *CLIP_SORT
  int16_t useRuled = {};                   // *USE_RULED
  int16_t clipBackdraft = {};              // *CLIP_BACKDRAFT
  int16_t extraClip = {};                  // *EXTRA_CLIP
  int16_t directSync = {};                 // *DIRECT_SYNC
  int16_t macroNormal = {};                // *MACRO_NORMAL
  int16_t wcoll = {};                      // *WCOLL
  double wcollHtol = {};                   // *WCOLL_HTOL
  int16_t fredFirstpath = {};              // *FRED_FIRSTPATH
  int16_t inlayMode = {};                  // *INLAY_MODE
  int16_t gapMode = {};                    // *GAP_MODE
  double zustellPtTcs[3] = {};             // *ZUSTELL_PT_TCS
  int16_t flankStrategy = {};              // *FLANK_STRATEGY
  int16_t checkModel = 1;                  // *CHECK_MODEL
  double wallAngle = {};                   // *WALL_ANGLE
  double aufmassPoly = {};                 // *AUFMASS_POLY
  int16_t stepMode = {};                   // *STEP_MODE
  int16_t vertCount = 1;                   // *VERT_COUNT = *LAYERCOUNT
  int16_t climb = 1;                       // *CLIMB
  int16_t syncRefine = 1;                  // *SYNC_REFINE
  double aufmassHori = {};                 // *AUFMASS_HORI
  int16_t orientation = {};                // *ORIENTATION
  double zoffset = {};                     // *ZOFFSET
  int16_t noScale = {};                    // *NO_SCALE
  double macroSfeed = {};                  // *MACRO_SFEED
  double macroEfeed = {};                  // *MACRO_EFEED
  double macroLfeed = {};                  // *MACRO_LFEED
  int32_t clipCount = {};                  // *CLIP_COUNT
  double clipTol = {};                     // *CLIP_TOL
  double clipOffset = {};                  // *CLIP_OFFSET
  char clipKfy[257] = {};                  // *CLIP_KFY
  char clip3df[257] = {};                  // *CLIP_3DF
  int16_t useExtraAsClip = {};             // *USE_EXTRA_AS_CLIP
  int16_t syncFlow = 1;                    // *SYNC_FLOW
  double filletRadius = {};                // *FILLET_RADIUS
  double infeedRadius = {};                // *INFEED_RADIUS
  int16_t filletCorners = {};              // *FILLET_CORNERS
  int16_t macroAvoidance = {};             // *MACRO_AVOIDANCE
  int16_t avoidExact = {};                 // *AVOID_EXACT
  int16_t bndProject = {};                 // *BND_PROJECT
  double bndZvec[3] = {0, 0, 1};           // *BND_ZVEC
  int16_t bndContact = {};                 // *BND_CONTACT
  double macroTlength = 10;                // *MACRO_TLENGTH
  int16_t testBnd = {};                    // *TEST_BND
  char cbndName[257] = {};                 // *CBND_NAME
  int16_t profSort = {};                   // *PROF_SORT
  int16_t pockFinonly = {};                // *POCK_FINONLY
  int16_t boundStrategy = {};              // *BOUND_STRATEGY
  char millKfy[257] = {};                  // *MILL_KFY = *BOUND_KFY
  char millBnd[257] = {};                  // *MILL_BND = *BOUND_BND
  char mill3df[257] = {};                  // *MILL_3DF = *BOUND_3DF
  int16_t topOk = 1;                       // *TOP_OK
  int16_t bottomOk = 1;                    // *BOTTOM_OK
  int16_t zDynamic = {};                   // *Z_DYNAMIC
  double refplane = 100;                   // *REFPLANE
  double refheight = 10;                   // *REFHEIGHT
  char wkzgeo[256] = {};                   // *WKZGEO
  double toolRayheight = 100;              // *TOOL_RAYHEIGHT
  double toolRayupperheight = 10;          // *TOOL_RAYUPPERHEIGHT
  double toolRaylowerheight = 90;          // *TOOL_RAYLOWERHEIGHT
  int16_t selectmode = 1;                  // *SELECTMODE
  double boundOffset = {};                 // *BOUND_OFFSET
  double trailwidth = 2;                   // *TRAILWIDTH
  double trailheight = 2;                  // *TRAILHEIGHT
  double traildepth = 2;                   // *TRAILDEPTH
  double heatexpansion = 4;                // *HEATEXPANSION
  double laseroutput = 100;                // *LASEROUTPUT
  double gasoutput = 50;                   // *GASOUTPUT
  double powderoutput = 100;               // *POWDEROUTPUT
  double laserfocuslength = {};            // *LASERFOCUSLENGTH
  double ramplensFreestart = {};           // *RAMPLENS_FREESTART
  double ramplensPathcontact = 2;          // *RAMPLENS_PATHCONTACT
  double ramplensModeledge = 1;            // *RAMPLENS_MODELEDGE
  double rampleneFreestart = {};           // *RAMPLENE_FREESTART
  double ramplenePathcontact = 2;          // *RAMPLENE_PATHCONTACT
  double rampleneModeledge = 1;            // *RAMPLENE_MODELEDGE
  double macroPowderoutput = 50;           // *MACRO_POWDEROUTPUT
  double macroGasoutput = 15;              // *MACRO_GASOUTPUT
  double macroLaseroutput = 373;           // *MACRO_LASEROUTPUT
  double macroPowdertime = 4;              // *MACRO_POWDERTIME
  double macroGastime = 4;                 // *MACRO_GASTIME
  double rampStep = 0.25;                  // *RAMP_STEP
  int16_t txtilt = {};                     // *TXTILT
  double txvec[4] = {};                    // *TXVEC
  int16_t tiltRule = {};                   // *TILT_RULE
  char txName[257] = {};                   // *TX_NAME
  int16_t plred = {};                      // *PLRED
  int16_t headCheckOnly = {};              // *HEAD_CHECK_ONLY
  double toolRefheight = {};               // *TOOL_REFHEIGHT
  int16_t angleZmode = {};                 // *ANGLE_ZMODE
  int16_t testMc = {};                     // *TEST_MC
  char toolContour[257] = {};              // *TOOL_CONTOUR
  char holder3df[257] = {};                // *HOLDER_3DF
  char head3df[257] = {};                  // *HEAD_3DF
  char holderKfy[257] = {};                // *HOLDER_KFY
  char headKfy[257] = {};                  // *HEAD_KFY
  double holderClearance = 0.5;            // *HOLDER_CLEARANCE
  double headClearance = 2;                // *HEAD_CLEARANCE
  int16_t checkPlane = {};                 // *CHECK_PLANE
  double clipFac = 0.5;                    // *CLIP_FAC
  int16_t allowBackdraft = {};             // *ALLOW_BACKDRAFT
  int16_t usePbound = 1;                   // *USE_PBOUND
  int16_t checkZlift = -1;                 // *CHECK_ZLIFT
  int16_t rapidLogic = -1;                 // *RAPID_LOGIC
  double maxClearDist = -1;                // *MAX_CLEAR_DIST
  double clearFeedrate = -1;               // *CLEAR_FEEDRATE
  int16_t clearMovement = -1;              // *CLEAR_MOVEMENT
  double maxDistAngle = -1;                // *MAX_DIST_ANGLE
  double maxPlaneAngle = -1;               // *MAX_PLANE_ANGLE
  int16_t shaftMesh = {};                  // *SHAFT_MESH
  int16_t ncstep = 2;                      // *NCSTEP
  double holder3dfTol = {};                // *HOLDER_3DF_TOL
  double head3dfTol = {};                  // *HEAD_3DF_TOL
  double precAngle = {};                   // *PREC_ANGLE
  int16_t tiltPass = {};                   // *TILT_PASS = *DURCHGANG
  double refCenter[3] = {};                // *REF_CENTER
  double radius = 10;                      // *RADIUS
  double angle = {};                       // *ANGLE
  int16_t avoidStrategy = {};              // *AVOID_STRATEGY
  int16_t avoidMode = 2;                   // *AVOID_MODE
  double crangeNeg = 30;                   // *CRANGE_NEG
  double crangePos = 30;                   // *CRANGE_POS
  int16_t tiltAuto = {};                   // *TILT_AUTO
  int16_t tiltAutoSeg = {};                // *TILT_AUTO_SEG
  double stockHeight = {};                 // *STOCK_HEIGHT
  char stock3df[257] = {};                 // *STOCK_3DF
  double origO[3] = {};                    // *ORIG_O
  double origX[3] = {1, 0, 0};             // *ORIG_X
  double origY[3] = {0, 1, 0};             // *ORIG_Y
  double origZ[3] = {0, 0, 1};             // *ORIG_Z
  double ipolAngle = 90;                   // *IPOL_ANGLE
  int16_t ipolCheck = {};                  // *IPOL_CHECK
  int16_t checkStartpt = {};               // *CHECK_STARTPT
  int16_t tiltNormal = {};                 // *TILT_NORMAL
  int16_t tiltThrough = {};                // *TILT_THROUGH
  int16_t tiltShortest3d = {};             // *TILT_SHORTEST_3D
  int16_t useOrig = {};                    // *USE_ORIG
  double brange = -1;                      // *BRANGE
  double planeAngle = {};                  // *PLANE_ANGLE
  double planeOffset = {};                 // *PLANE_OFFSET
  int16_t ncGen = 1;                       // *NC_GEN = *NC_GENERATE
  int16_t wcollBmode = {};                 // *WCOLL_BMODE
  double zfillet = {};                     // *ZFILLET
  double leadMax = 15;                     // *LEAD_MAX
  double freeMin = {};                     // *FREE_MIN
  double freeMax = 90;                     // *FREE_MAX
  double autoCrange = {};                  // *AUTO_CRANGE
  int16_t autoInherit = {};                // *AUTO_INHERIT
  int16_t pocketReduce = 1;                // *POCKET_REDUCE
  double autoCrange0 = 90;                 // *AUTO_CRANGE0
  double autoCrange90 = 12.5;              // *AUTO_CRANGE90
  double flatConnectFactor = {};           // *FLAT_CONNECT_FACTOR
  int16_t edgeMovement = {};               // *EDGE_MOVEMENT
  double macroSheight = {};                // *MACRO_SHEIGHT
  int16_t extraOnly = {};                  // *EXTRA_ONLY
  int16_t ignoreProfile = {};              // *IGNORE_PROFILE
  int16_t undercutMode = {};               // *UNDERCUT_MODE
  int16_t thickShaft = {};                 // *THICK_SHAFT
  int16_t projMode = {};                   // *PROJ_MODE
  double projAngle = 1;                    // *PROJ_ANGLE
  int16_t compSide = {};                   // *COMP_SIDE
  double centerHeight = {};                // *CENTER_HEIGHT
  double barrelHeight = {};                // *BARREL_HEIGHT
  double barrelRadius = {};                // *BARREL_RADIUS
  int16_t pathCashCt = 5000;               // *PATH_CASH_CT
  int16_t partialMode = {};                // *PARTIAL_MODE
  double partialFrom = 1;                  // *PARTIAL_FROM
  double partialTo = 1;                    // *PARTIAL_TO
  int16_t forceFixed = {};                 // *FORCE_FIXED
  int16_t lnred = {};                      // *LNRED
  int16_t bndSort = {};                    // *BND_SORT
  int16_t genbtmCrv = {};                  // *GENBTM_CRV
  double maxdev = {};                      // *MAXDEV
  int16_t reduceMode = {};                 // *REDUCE_MODE
  double meshOffset = {};                  // *MESH_OFFSET
  char profilStart[257] = {};              // *PROFIL_START
  char profilEnd[257] = {};                // *PROFIL_END
};

extern JobRecord jobRecord;

// *HBND and *HSYNC are kept beside the record.
extern char jobHbnd[132];
extern char jobHsync[136];

// The keyword table of the profile cycle: 457 rows, ended by a null row.
extern const JobKeywordTable profJobKeywords[];
constexpr int kProfJobKeywordCount = 457;

// The values of the *HBND and *HSYNC lines of the last job file read, in
// file order (values that are empty or begin with a blank or "0" are left
// out).  Never null after the first jobFileRead.
const StrList* jobHbndList();
const StrList* jobHsyncList();

// Puts jobRecord, *HBND, *HSYNC and the two lists back to their initial
// values.
void jobRecordReset();

// Index of the first row of profJobKeywords whose keyword equals keyword
// regardless of case, or -1.
int jobKeywordFind(const char* keyword);

// Reads the job file at path into jobRecord (jobReadFile) and collects the
// *HBND and *HSYNC lists.  0 when the file cannot be opened, else 1.
int jobFileRead(const char* path);

// Applies the lines of a ".CFG" settings file to jobRecord (jobApplyLines).
// Returns 1.
int jobApplyCfgLines(const CfgLine* lines);
