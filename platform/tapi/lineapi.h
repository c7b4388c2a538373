#pragma once
// The line functions of the telephony interface, version 2.x, with their published
// constants and structure layouts. Handles and values are 32-bit; the callback
// instance is pointer-sized so that an object can be passed. Texts are single-byte
// code page 1250, zero-terminated; variable parts of structures are addressed by
// their size/offset fields from the start of the structure.
#include <cstddef>
#include <cstdint>

using DWORD = uint32_t;
using LONG = int32_t;
using DWORD_PTR = uintptr_t;
using HLINEAPP = uint32_t;
using HLINE = uint32_t;
using HCALL = uint32_t;
using HINSTANCE = void *;
using HWND = void *;

using LINECALLBACK = void (*)(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwCallbackInstance, DWORD dwParam1,
                              DWORD dwParam2, DWORD dwParam3);

// ---- Messages ------------------------------------------------------------------
constexpr DWORD LINE_ADDRESSSTATE = 0;
constexpr DWORD LINE_CALLINFO = 1;
constexpr DWORD LINE_CALLSTATE = 2;
constexpr DWORD LINE_CLOSE = 3;
constexpr DWORD LINE_DEVSPECIFIC = 4;
constexpr DWORD LINE_DEVSPECIFICFEATURE = 5;
constexpr DWORD LINE_GATHERDIGITS = 6;
constexpr DWORD LINE_GENERATE = 7;
constexpr DWORD LINE_LINEDEVSTATE = 8;
constexpr DWORD LINE_MONITORDIGITS = 9;
constexpr DWORD LINE_MONITORMEDIA = 10;
constexpr DWORD LINE_MONITORTONE = 11;
constexpr DWORD LINE_REPLY = 12;
constexpr DWORD LINE_REQUEST = 13;
constexpr DWORD LINE_CREATE = 19;
constexpr DWORD LINE_AGENTSPECIFIC = 21;
constexpr DWORD LINE_AGENTSTATUS = 22;
constexpr DWORD LINE_APPNEWCALL = 23;
constexpr DWORD LINE_PROXYREQUEST = 24;
constexpr DWORD LINE_REMOVE = 25;

// ---- Call states -----------------------------------------------------------------
constexpr DWORD LINECALLSTATE_IDLE = 0x00000001;
constexpr DWORD LINECALLSTATE_OFFERING = 0x00000002;
constexpr DWORD LINECALLSTATE_ACCEPTED = 0x00000004;
constexpr DWORD LINECALLSTATE_DIALTONE = 0x00000008;
constexpr DWORD LINECALLSTATE_DIALING = 0x00000010;
constexpr DWORD LINECALLSTATE_RINGBACK = 0x00000020;
constexpr DWORD LINECALLSTATE_BUSY = 0x00000040;
constexpr DWORD LINECALLSTATE_SPECIALINFO = 0x00000080;
constexpr DWORD LINECALLSTATE_CONNECTED = 0x00000100;
constexpr DWORD LINECALLSTATE_PROCEEDING = 0x00000200;
constexpr DWORD LINECALLSTATE_ONHOLD = 0x00000400;
constexpr DWORD LINECALLSTATE_CONFERENCED = 0x00000800;
constexpr DWORD LINECALLSTATE_ONHOLDPENDCONF = 0x00001000;
constexpr DWORD LINECALLSTATE_ONHOLDPENDTRANSFER = 0x00002000;
constexpr DWORD LINECALLSTATE_DISCONNECTED = 0x00004000;
constexpr DWORD LINECALLSTATE_UNKNOWN = 0x00008000;

constexpr DWORD LINEDIALTONEMODE_NORMAL = 0x00000001;
constexpr DWORD LINEBUSYMODE_STATION = 0x00000001;
constexpr DWORD LINEBUSYMODE_UNKNOWN = 0x00000004;
constexpr DWORD LINEDISCONNECTMODE_NORMAL = 0x00000001;
constexpr DWORD LINEDISCONNECTMODE_UNKNOWN = 0x00000002;
constexpr DWORD LINEDISCONNECTMODE_BUSY = 0x00000020;
constexpr DWORD LINEDISCONNECTMODE_NOANSWER = 0x00000040;
constexpr DWORD LINECONNECTEDMODE_ACTIVE = 0x00000001;
constexpr DWORD LINEOFFERINGMODE_ACTIVE = 0x00000001;

// ---- Call origin ------------------------------------------------------------------
constexpr DWORD LINECALLORIGIN_OUTBOUND = 0x00000001;
constexpr DWORD LINECALLORIGIN_INTERNAL = 0x00000002;
constexpr DWORD LINECALLORIGIN_EXTERNAL = 0x00000004;
constexpr DWORD LINECALLORIGIN_UNKNOWN = 0x00000010;
constexpr DWORD LINECALLORIGIN_UNAVAIL = 0x00000020;
constexpr DWORD LINECALLORIGIN_CONFERENCE = 0x00000040;
constexpr DWORD LINECALLORIGIN_INBOUND = 0x00000080;

constexpr DWORD LINECALLREASON_DIRECT = 0x00000001;
constexpr DWORD LINECALLREASON_UNAVAIL = 0x00001000;

constexpr DWORD LINECALLPARTYID_BLOCKED = 0x00000001;
constexpr DWORD LINECALLPARTYID_NAME = 0x00000004;
constexpr DWORD LINECALLPARTYID_ADDRESS = 0x00000008;
constexpr DWORD LINECALLPARTYID_UNKNOWN = 0x00000020;
constexpr DWORD LINECALLPARTYID_UNAVAIL = 0x00000040;

// ---- Call information states ---------------------------------------------------
constexpr DWORD LINECALLINFOSTATE_OTHER = 0x00000001;
constexpr DWORD LINECALLINFOSTATE_DEVSPECIFIC = 0x00000002;
constexpr DWORD LINECALLINFOSTATE_BEARERMODE = 0x00000004;
constexpr DWORD LINECALLINFOSTATE_RATE = 0x00000008;
constexpr DWORD LINECALLINFOSTATE_MEDIAMODE = 0x00000010;
constexpr DWORD LINECALLINFOSTATE_APPSPECIFIC = 0x00000020;
constexpr DWORD LINECALLINFOSTATE_CALLID = 0x00000040;
constexpr DWORD LINECALLINFOSTATE_RELATEDCALLID = 0x00000080;
constexpr DWORD LINECALLINFOSTATE_ORIGIN = 0x00000100;
constexpr DWORD LINECALLINFOSTATE_REASON = 0x00000200;
constexpr DWORD LINECALLINFOSTATE_COMPLETIONID = 0x00000400;
constexpr DWORD LINECALLINFOSTATE_NUMOWNERINCR = 0x00000800;
constexpr DWORD LINECALLINFOSTATE_NUMOWNERDECR = 0x00001000;
constexpr DWORD LINECALLINFOSTATE_NUMMONITORS = 0x00002000;
constexpr DWORD LINECALLINFOSTATE_TRUNK = 0x00004000;
constexpr DWORD LINECALLINFOSTATE_CALLERID = 0x00008000;
constexpr DWORD LINECALLINFOSTATE_CALLEDID = 0x00010000;
constexpr DWORD LINECALLINFOSTATE_CONNECTEDID = 0x00020000;
constexpr DWORD LINECALLINFOSTATE_REDIRECTIONID = 0x00040000;
constexpr DWORD LINECALLINFOSTATE_REDIRECTINGID = 0x00080000;
constexpr DWORD LINECALLINFOSTATE_DISPLAY = 0x00100000;
constexpr DWORD LINECALLINFOSTATE_USERUSERINFO = 0x00200000;
constexpr DWORD LINECALLINFOSTATE_HIGHLEVELCOMP = 0x00400000;
constexpr DWORD LINECALLINFOSTATE_LOWLEVELCOMP = 0x00800000;
constexpr DWORD LINECALLINFOSTATE_CHARGINGINFO = 0x01000000;
constexpr DWORD LINECALLINFOSTATE_TERMINAL = 0x02000000;
constexpr DWORD LINECALLINFOSTATE_DIALPARAMS = 0x04000000;
constexpr DWORD LINECALLINFOSTATE_MONITORMODES = 0x08000000;

// ---- Line device states ------------------------------------------------------------
constexpr DWORD LINEDEVSTATE_OTHER = 0x00000001;
constexpr DWORD LINEDEVSTATE_RINGING = 0x00000002;
constexpr DWORD LINEDEVSTATE_CONNECTED = 0x00000004;
constexpr DWORD LINEDEVSTATE_DISCONNECTED = 0x00000008;
constexpr DWORD LINEDEVSTATE_MSGWAITON = 0x00000010;
constexpr DWORD LINEDEVSTATE_MSGWAITOFF = 0x00000020;
constexpr DWORD LINEDEVSTATE_INSERVICE = 0x00000040;
constexpr DWORD LINEDEVSTATE_OUTOFSERVICE = 0x00000080;
constexpr DWORD LINEDEVSTATE_MAINTENANCE = 0x00000100;
constexpr DWORD LINEDEVSTATE_OPEN = 0x00000200;
constexpr DWORD LINEDEVSTATE_CLOSE = 0x00000400;
constexpr DWORD LINEDEVSTATE_NUMCALLS = 0x00000800;
constexpr DWORD LINEDEVSTATE_NUMCOMPLETIONS = 0x00001000;
constexpr DWORD LINEDEVSTATE_TERMINALS = 0x00002000;
constexpr DWORD LINEDEVSTATE_ROAMMODE = 0x00004000;
constexpr DWORD LINEDEVSTATE_BATTERY = 0x00008000;
constexpr DWORD LINEDEVSTATE_SIGNAL = 0x00010000;
constexpr DWORD LINEDEVSTATE_DEVSPECIFIC = 0x00020000;
constexpr DWORD LINEDEVSTATE_REINIT = 0x00040000;
constexpr DWORD LINEDEVSTATE_LOCK = 0x00080000;
constexpr DWORD LINEDEVSTATE_CAPSCHANGE = 0x00100000;
constexpr DWORD LINEDEVSTATE_CONFIGCHANGE = 0x00200000;
constexpr DWORD LINEDEVSTATE_TRANSLATECHANGE = 0x00400000;
constexpr DWORD LINEDEVSTATE_COMPLCANCEL = 0x00800000;
constexpr DWORD LINEDEVSTATE_REMOVED = 0x01000000;
constexpr DWORD LINEDEVSTATE_ALL = 0x01FFFFFF;

constexpr DWORD LINEDEVSTATUSFLAGS_CONNECTED = 0x00000001;
constexpr DWORD LINEDEVSTATUSFLAGS_INSERVICE = 0x00000004;

// ---- Address states ----------------------------------------------------------------
constexpr DWORD LINEADDRESSSTATE_OTHER = 0x00000001;
constexpr DWORD LINEADDRESSSTATE_DEVSPECIFIC = 0x00000002;
constexpr DWORD LINEADDRESSSTATE_INUSEZERO = 0x00000004;
constexpr DWORD LINEADDRESSSTATE_INUSEONE = 0x00000008;
constexpr DWORD LINEADDRESSSTATE_INUSEMANY = 0x00000010;
constexpr DWORD LINEADDRESSSTATE_NUMCALLS = 0x00000020;
constexpr DWORD LINEADDRESSSTATE_FORWARD = 0x00000040;
constexpr DWORD LINEADDRESSSTATE_TERMINALS = 0x00000080;
constexpr DWORD LINEADDRESSSTATE_CAPSCHANGE = 0x00000100;
constexpr DWORD LINEADDRESSSTATE_ALL = 0x000001FF;

// ---- Media, bearer, parameters, privileges -----------------------------------------
constexpr DWORD LINEMEDIAMODE_UNKNOWN = 0x00000002;
constexpr DWORD LINEMEDIAMODE_INTERACTIVEVOICE = 0x00000004;
constexpr DWORD LINEMEDIAMODE_AUTOMATEDVOICE = 0x00000008;
constexpr DWORD LINEMEDIAMODE_DATAMODEM = 0x00000010;
constexpr DWORD LINEMEDIAMODE_G3FAX = 0x00000020;
constexpr DWORD LINEMEDIAMODE_TDD = 0x00000040;
constexpr DWORD LINEMEDIAMODE_G4FAX = 0x00000080;
constexpr DWORD LINEMEDIAMODE_DIGITALDATA = 0x00000100;
constexpr DWORD LINEMEDIAMODE_TELETEX = 0x00000200;
constexpr DWORD LINEMEDIAMODE_VIDEOTEX = 0x00000400;
constexpr DWORD LINEMEDIAMODE_TELEX = 0x00000800;
constexpr DWORD LINEMEDIAMODE_MIXED = 0x00001000;
constexpr DWORD LINEMEDIAMODE_ADSI = 0x00002000;
constexpr DWORD LINEMEDIAMODE_VOICEVIEW = 0x00004000;
constexpr DWORD LINEMEDIAMODE_VIDEO = 0x00008000;

constexpr DWORD LINEBEARERMODE_VOICE = 0x00000001;
constexpr DWORD LINEBEARERMODE_SPEECH = 0x00000002;
constexpr DWORD LINEBEARERMODE_MULTIUSE = 0x00000004;
constexpr DWORD LINEBEARERMODE_DATA = 0x00000008;
constexpr DWORD LINEBEARERMODE_ALTSPEECHDATA = 0x00000010;
constexpr DWORD LINEBEARERMODE_NONCALLSIGNALING = 0x00000020;
constexpr DWORD LINEBEARERMODE_PASSTHROUGH = 0x00000040;
constexpr DWORD LINEBEARERMODE_RESTRICTEDDATA = 0x00000080;

constexpr DWORD LINECALLPARAMFLAGS_SECURE = 0x00000001;
constexpr DWORD LINECALLPARAMFLAGS_IDLE = 0x00000002;
constexpr DWORD LINECALLPARAMFLAGS_BLOCKID = 0x00000004;
constexpr DWORD LINECALLPARAMFLAGS_ORIGOFFHOOK = 0x00000008;
constexpr DWORD LINECALLPARAMFLAGS_DESTOFFHOOK = 0x00000010;

constexpr DWORD LINEADDRESSMODE_ADDRESSID = 0x00000001;
constexpr DWORD LINEADDRESSMODE_DIALABLEADDR = 0x00000002;

constexpr DWORD LINECALLPRIVILEGE_NONE = 0x00000001;
constexpr DWORD LINECALLPRIVILEGE_MONITOR = 0x00000002;
constexpr DWORD LINECALLPRIVILEGE_OWNER = 0x00000004;

constexpr DWORD LINECALLFEATURE_ANSWER = 0x00000004;
constexpr DWORD LINECALLFEATURE_DIAL = 0x00000040;
constexpr DWORD LINECALLFEATURE_DROP = 0x00000080;
constexpr DWORD LINEFEATURE_MAKECALL = 0x00000008;
constexpr DWORD LINEADDRSHARING_PRIVATE = 0x00000001;
constexpr DWORD LINEANSWERMODE_HOLD = 0x00000002;

constexpr DWORD STRINGFORMAT_ASCII = 0x00000001;
constexpr DWORD LINEMAPPER = 0xFFFFFFFF;

// ---- Errors ------------------------------------------------------------------------------
constexpr LONG lineErr(DWORD code) { return LONG(code); }
constexpr LONG LINEERR_ALLOCATED = lineErr(0x80000001);
constexpr LONG LINEERR_BADDEVICEID = lineErr(0x80000002);
constexpr LONG LINEERR_BEARERMODEUNAVAIL = lineErr(0x80000003);
constexpr LONG LINEERR_CALLUNAVAIL = lineErr(0x80000005);
constexpr LONG LINEERR_COMPLETIONOVERRUN = lineErr(0x80000006);
constexpr LONG LINEERR_CONFERENCEFULL = lineErr(0x80000007);
constexpr LONG LINEERR_DIALBILLING = lineErr(0x80000008);
constexpr LONG LINEERR_DIALDIALTONE = lineErr(0x80000009);
constexpr LONG LINEERR_DIALPROMPT = lineErr(0x8000000A);
constexpr LONG LINEERR_DIALQUIET = lineErr(0x8000000B);
constexpr LONG LINEERR_INCOMPATIBLEAPIVERSION = lineErr(0x8000000C);
constexpr LONG LINEERR_INCOMPATIBLEEXTVERSION = lineErr(0x8000000D);
constexpr LONG LINEERR_INIFILECORRUPT = lineErr(0x8000000E);
constexpr LONG LINEERR_INUSE = lineErr(0x8000000F);
constexpr LONG LINEERR_INVALADDRESS = lineErr(0x80000010);
constexpr LONG LINEERR_INVALADDRESSID = lineErr(0x80000011);
constexpr LONG LINEERR_INVALADDRESSMODE = lineErr(0x80000012);
constexpr LONG LINEERR_INVALADDRESSSTATE = lineErr(0x80000013);
constexpr LONG LINEERR_INVALAPPHANDLE = lineErr(0x80000014);
constexpr LONG LINEERR_INVALAPPNAME = lineErr(0x80000015);
constexpr LONG LINEERR_INVALBEARERMODE = lineErr(0x80000016);
constexpr LONG LINEERR_INVALCALLCOMPLMODE = lineErr(0x80000017);
constexpr LONG LINEERR_INVALCALLHANDLE = lineErr(0x80000018);
constexpr LONG LINEERR_INVALCALLPARAMS = lineErr(0x80000019);
constexpr LONG LINEERR_INVALCALLPRIVILEGE = lineErr(0x8000001A);
constexpr LONG LINEERR_INVALCALLSELECT = lineErr(0x8000001B);
constexpr LONG LINEERR_INVALCALLSTATE = lineErr(0x8000001C);
constexpr LONG LINEERR_INVALCALLSTATELIST = lineErr(0x8000001D);
constexpr LONG LINEERR_INVALCARD = lineErr(0x8000001E);
constexpr LONG LINEERR_INVALCOMPLETIONID = lineErr(0x8000001F);
constexpr LONG LINEERR_INVALCONFCALLHANDLE = lineErr(0x80000020);
constexpr LONG LINEERR_INVALCONSULTCALLHANDLE = lineErr(0x80000021);
constexpr LONG LINEERR_INVALCOUNTRYCODE = lineErr(0x80000022);
constexpr LONG LINEERR_INVALDEVICECLASS = lineErr(0x80000023);
constexpr LONG LINEERR_INVALDEVICEHANDLE = lineErr(0x80000024);
constexpr LONG LINEERR_INVALDIALPARAMS = lineErr(0x80000025);
constexpr LONG LINEERR_INVALDIGITLIST = lineErr(0x80000026);
constexpr LONG LINEERR_INVALDIGITMODE = lineErr(0x80000027);
constexpr LONG LINEERR_INVALDIGITS = lineErr(0x80000028);
constexpr LONG LINEERR_INVALEXTVERSION = lineErr(0x80000029);
constexpr LONG LINEERR_INVALGROUPID = lineErr(0x8000002A);
constexpr LONG LINEERR_INVALLINEHANDLE = lineErr(0x8000002B);
constexpr LONG LINEERR_INVALLINESTATE = lineErr(0x8000002C);
constexpr LONG LINEERR_INVALLOCATION = lineErr(0x8000002D);
constexpr LONG LINEERR_INVALMEDIALIST = lineErr(0x8000002E);
constexpr LONG LINEERR_INVALMEDIAMODE = lineErr(0x8000002F);
constexpr LONG LINEERR_INVALMESSAGEID = lineErr(0x80000030);
constexpr LONG LINEERR_INVALPARAM = lineErr(0x80000032);
constexpr LONG LINEERR_INVALPARKID = lineErr(0x80000033);
constexpr LONG LINEERR_INVALPARKMODE = lineErr(0x80000034);
constexpr LONG LINEERR_INVALPOINTER = lineErr(0x80000035);
constexpr LONG LINEERR_INVALPRIVSELECT = lineErr(0x80000036);
constexpr LONG LINEERR_INVALRATE = lineErr(0x80000037);
constexpr LONG LINEERR_INVALREQUESTMODE = lineErr(0x80000038);
constexpr LONG LINEERR_INVALTERMINALID = lineErr(0x80000039);
constexpr LONG LINEERR_INVALTERMINALMODE = lineErr(0x8000003A);
constexpr LONG LINEERR_INVALTIMEOUT = lineErr(0x8000003B);
constexpr LONG LINEERR_INVALTONE = lineErr(0x8000003C);
constexpr LONG LINEERR_INVALTONELIST = lineErr(0x8000003D);
constexpr LONG LINEERR_INVALTONEMODE = lineErr(0x8000003E);
constexpr LONG LINEERR_INVALTRANSFERMODE = lineErr(0x8000003F);
constexpr LONG LINEERR_LINEMAPPERFAILED = lineErr(0x80000040);
constexpr LONG LINEERR_NOCONFERENCE = lineErr(0x80000041);
constexpr LONG LINEERR_NODEVICE = lineErr(0x80000042);
constexpr LONG LINEERR_NODRIVER = lineErr(0x80000043);
constexpr LONG LINEERR_NOMEM = lineErr(0x80000044);
constexpr LONG LINEERR_NOREQUEST = lineErr(0x80000045);
constexpr LONG LINEERR_NOTOWNER = lineErr(0x80000046);
constexpr LONG LINEERR_NOTREGISTERED = lineErr(0x80000047);
constexpr LONG LINEERR_OPERATIONFAILED = lineErr(0x80000048);
constexpr LONG LINEERR_OPERATIONUNAVAIL = lineErr(0x80000049);
constexpr LONG LINEERR_RATEUNAVAIL = lineErr(0x8000004A);
constexpr LONG LINEERR_RESOURCEUNAVAIL = lineErr(0x8000004B);
constexpr LONG LINEERR_REQUESTOVERRUN = lineErr(0x8000004C);
constexpr LONG LINEERR_STRUCTURETOOSMALL = lineErr(0x8000004D);
constexpr LONG LINEERR_TARGETNOTFOUND = lineErr(0x8000004E);
constexpr LONG LINEERR_TARGETSELF = lineErr(0x8000004F);
constexpr LONG LINEERR_UNINITIALIZED = lineErr(0x80000050);
constexpr LONG LINEERR_USERUSERINFOTOOBIG = lineErr(0x80000051);
constexpr LONG LINEERR_REINIT = lineErr(0x80000052);
constexpr LONG LINEERR_ADDRESSBLOCKED = lineErr(0x80000053);
constexpr LONG LINEERR_BILLINGREJECTED = lineErr(0x80000054);
constexpr LONG LINEERR_INVALFEATURE = lineErr(0x80000055);
constexpr LONG LINEERR_NOMULTIPLEINSTANCE = lineErr(0x80000056);

// ---- Versions the line service speaks ------------------------------------------------
constexpr DWORD LINE_API_VERSION_LOWEST = 0x00010003;
constexpr DWORD LINE_API_VERSION_HIGHEST = 0x00020002;

// ---- Structures -------------------------------------------------------------------------
struct LINEDIALPARAMS {
    DWORD dwDialPause;
    DWORD dwDialSpeed;
    DWORD dwDigitDuration;
    DWORD dwWaitForDialtone;
};

struct LINEEXTENSIONID {
    DWORD dwExtensionID0;
    DWORD dwExtensionID1;
    DWORD dwExtensionID2;
    DWORD dwExtensionID3;
};

struct TAPIGUID {
    DWORD Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};

struct TAPISYSTEMTIME {
    uint16_t wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

struct VARSTRING {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwStringFormat;
    DWORD dwStringSize;
    DWORD dwStringOffset;
};

struct LINECALLPARAMS {
    DWORD dwTotalSize;
    DWORD dwBearerMode;
    DWORD dwMinRate;
    DWORD dwMaxRate;
    DWORD dwMediaMode;
    DWORD dwCallParamFlags;
    DWORD dwAddressMode;
    DWORD dwAddressID;
    LINEDIALPARAMS DialParams;
    DWORD dwOrigAddressSize;
    DWORD dwOrigAddressOffset;
    DWORD dwDisplayableAddressSize;
    DWORD dwDisplayableAddressOffset;
    DWORD dwCalledPartySize;
    DWORD dwCalledPartyOffset;
    DWORD dwCommentSize;
    DWORD dwCommentOffset;
    DWORD dwUserUserInfoSize;
    DWORD dwUserUserInfoOffset;
    DWORD dwHighLevelCompSize;
    DWORD dwHighLevelCompOffset;
    DWORD dwLowLevelCompSize;
    DWORD dwLowLevelCompOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
    DWORD dwPredictiveAutoTransferStates;
    DWORD dwTargetAddressSize;
    DWORD dwTargetAddressOffset;
    DWORD dwSendingFlowspecSize;
    DWORD dwSendingFlowspecOffset;
    DWORD dwReceivingFlowspecSize;
    DWORD dwReceivingFlowspecOffset;
    DWORD dwDeviceClassSize;
    DWORD dwDeviceClassOffset;
    DWORD dwDeviceConfigSize;
    DWORD dwDeviceConfigOffset;
    DWORD dwCallDataSize;
    DWORD dwCallDataOffset;
    DWORD dwNoAnswerTimeout;
    DWORD dwCallingPartyIDSize;
    DWORD dwCallingPartyIDOffset;
    DWORD dwAddressType;
};
static_assert(sizeof(LINECALLPARAMS) == 180);

struct LINECALLINFO {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    HLINE hLine;
    DWORD dwLineDeviceID;
    DWORD dwAddressID;
    DWORD dwBearerMode;
    DWORD dwRate;
    DWORD dwMediaMode;
    DWORD dwAppSpecific;
    DWORD dwCallID;
    DWORD dwRelatedCallID;
    DWORD dwCallParamFlags;
    DWORD dwCallStates;
    DWORD dwMonitorDigitModes;
    DWORD dwMonitorMediaModes;
    LINEDIALPARAMS DialParams;
    DWORD dwOrigin;
    DWORD dwReason;
    DWORD dwCompletionID;
    DWORD dwNumOwners;
    DWORD dwNumMonitors;
    DWORD dwCountryCode;
    DWORD dwTrunk;
    DWORD dwCallerIDFlags;
    DWORD dwCallerIDSize;
    DWORD dwCallerIDOffset;
    DWORD dwCallerIDNameSize;
    DWORD dwCallerIDNameOffset;
    DWORD dwCalledIDFlags;
    DWORD dwCalledIDSize;
    DWORD dwCalledIDOffset;
    DWORD dwCalledIDNameSize;
    DWORD dwCalledIDNameOffset;
    DWORD dwConnectedIDFlags;
    DWORD dwConnectedIDSize;
    DWORD dwConnectedIDOffset;
    DWORD dwConnectedIDNameSize;
    DWORD dwConnectedIDNameOffset;
    DWORD dwRedirectionIDFlags;
    DWORD dwRedirectionIDSize;
    DWORD dwRedirectionIDOffset;
    DWORD dwRedirectionIDNameSize;
    DWORD dwRedirectionIDNameOffset;
    DWORD dwRedirectingIDFlags;
    DWORD dwRedirectingIDSize;
    DWORD dwRedirectingIDOffset;
    DWORD dwRedirectingIDNameSize;
    DWORD dwRedirectingIDNameOffset;
    DWORD dwAppNameSize;
    DWORD dwAppNameOffset;
    DWORD dwDisplayableAddressSize;
    DWORD dwDisplayableAddressOffset;
    DWORD dwCalledPartySize;
    DWORD dwCalledPartyOffset;
    DWORD dwCommentSize;
    DWORD dwCommentOffset;
    DWORD dwDisplaySize;
    DWORD dwDisplayOffset;
    DWORD dwUserUserInfoSize;
    DWORD dwUserUserInfoOffset;
    DWORD dwHighLevelCompSize;
    DWORD dwHighLevelCompOffset;
    DWORD dwLowLevelCompSize;
    DWORD dwLowLevelCompOffset;
    DWORD dwChargingInfoSize;
    DWORD dwChargingInfoOffset;
    DWORD dwTerminalModesSize;
    DWORD dwTerminalModesOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
    // version 2.0
    DWORD dwCallTreatment;
    DWORD dwCallDataSize;
    DWORD dwCallDataOffset;
    DWORD dwSendingFlowspecSize;
    DWORD dwSendingFlowspecOffset;
    DWORD dwReceivingFlowspecSize;
    DWORD dwReceivingFlowspecOffset;
};

struct LINECALLSTATUS {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwCallState;
    DWORD dwCallStateMode;
    DWORD dwCallPrivilege;
    DWORD dwCallFeatures;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
    // version 2.0
    DWORD dwCallFeatures2;
    TAPISYSTEMTIME tStateEntryTime;
};

struct LINEDEVCAPS {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwProviderInfoSize;
    DWORD dwProviderInfoOffset;
    DWORD dwSwitchInfoSize;
    DWORD dwSwitchInfoOffset;
    DWORD dwPermanentLineID;
    DWORD dwLineNameSize;
    DWORD dwLineNameOffset;
    DWORD dwStringFormat;
    DWORD dwAddressModes;
    DWORD dwNumAddresses;
    DWORD dwBearerModes;
    DWORD dwMaxRate;
    DWORD dwMediaModes;
    DWORD dwGenerateToneModes;
    DWORD dwGenerateToneMaxNumFreq;
    DWORD dwGenerateDigitModes;
    DWORD dwMonitorToneMaxNumFreq;
    DWORD dwMonitorToneMaxNumEntries;
    DWORD dwMonitorDigitModes;
    DWORD dwGatherDigitsMinTimeout;
    DWORD dwGatherDigitsMaxTimeout;
    DWORD dwMedCtlDigitMaxListSize;
    DWORD dwMedCtlMediaMaxListSize;
    DWORD dwMedCtlToneMaxListSize;
    DWORD dwMedCtlCallStateMaxListSize;
    DWORD dwDevCapFlags;
    DWORD dwMaxNumActiveCalls;
    DWORD dwAnswerMode;
    DWORD dwRingModes;
    DWORD dwLineStates;
    DWORD dwUUIAcceptSize;
    DWORD dwUUIAnswerSize;
    DWORD dwUUIMakeCallSize;
    DWORD dwUUIDropSize;
    DWORD dwUUISendUserUserInfoSize;
    DWORD dwUUICallInfoSize;
    LINEDIALPARAMS MinDialParams;
    LINEDIALPARAMS MaxDialParams;
    LINEDIALPARAMS DefaultDialParams;
    DWORD dwNumTerminals;
    DWORD dwTerminalCapsSize;
    DWORD dwTerminalCapsOffset;
    DWORD dwTerminalTextEntrySize;
    DWORD dwTerminalTextSize;
    DWORD dwTerminalTextOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
    // version 1.4
    DWORD dwLineFeatures;
    // version 2.0
    DWORD dwSettableDevStatus;
    DWORD dwDeviceClassesSize;
    DWORD dwDeviceClassesOffset;
    // version 2.2
    TAPIGUID PermanentLineGuid;
};

struct LINEADDRESSCAPS {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwLineDeviceID;
    DWORD dwAddressSize;
    DWORD dwAddressOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
    DWORD dwAddressSharing;
    DWORD dwAddressStates;
    DWORD dwCallInfoStates;
    DWORD dwCallerIDFlags;
    DWORD dwCalledIDFlags;
    DWORD dwConnectedIDFlags;
    DWORD dwRedirectionIDFlags;
    DWORD dwRedirectingIDFlags;
    DWORD dwCallStates;
    DWORD dwDialToneModes;
    DWORD dwBusyModes;
    DWORD dwSpecialInfo;
    DWORD dwDisconnectModes;
    DWORD dwMaxNumActiveCalls;
    DWORD dwMaxNumOnHoldCalls;
    DWORD dwMaxNumOnHoldPendingCalls;
    DWORD dwMaxNumConference;
    DWORD dwMaxNumTransConf;
    DWORD dwAddrCapFlags;
    DWORD dwCallFeatures;
    DWORD dwRemoveFromConfCaps;
    DWORD dwRemoveFromConfState;
    DWORD dwTransferModes;
    DWORD dwParkModes;
    DWORD dwForwardModes;
    DWORD dwMaxForwardEntries;
    DWORD dwMaxSpecificEntries;
    DWORD dwMinFwdNumRings;
    DWORD dwMaxFwdNumRings;
    DWORD dwMaxCallCompletions;
    DWORD dwCallCompletionConds;
    DWORD dwCallCompletionModes;
    DWORD dwNumCompletionMessages;
    DWORD dwCompletionMsgTextEntrySize;
    DWORD dwCompletionMsgTextSize;
    DWORD dwCompletionMsgTextOffset;
    // version 1.4
    DWORD dwAddressFeatures;
    // version 2.0
    DWORD dwPredictiveAutoTransferStates;
    DWORD dwNumCallTreatments;
    DWORD dwCallTreatmentListSize;
    DWORD dwCallTreatmentListOffset;
    DWORD dwDeviceClassesSize;
    DWORD dwDeviceClassesOffset;
    DWORD dwMaxCallDataSize;
    DWORD dwCallFeatures2;
    DWORD dwMaxNoAnswerTimeout;
    DWORD dwConnectedModes;
    DWORD dwOfferingModes;
    DWORD dwAvailableMediaModes;
};

struct LINEDEVSTATUS {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwNumOpens;
    DWORD dwOpenMediaModes;
    DWORD dwNumActiveCalls;
    DWORD dwNumOnHoldCalls;
    DWORD dwNumOnHoldPendCalls;
    DWORD dwLineFeatures;
    DWORD dwNumCallCompletions;
    DWORD dwRingMode;
    DWORD dwSignalLevel;
    DWORD dwBatteryLevel;
    DWORD dwRoamMode;
    DWORD dwDevStatusFlags;
    DWORD dwTerminalModesSize;
    DWORD dwTerminalModesOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
    // version 2.0
    DWORD dwAvailableMediaModes;
    DWORD dwAppInfoSize;
    DWORD dwAppInfoOffset;
};

// The fixed part an application of a given version must provide room for.
constexpr DWORD LINECALLINFO_FIXEDSIZE_1X = offsetof(LINECALLINFO, dwCallTreatment);
constexpr DWORD LINECALLSTATUS_FIXEDSIZE_1X = offsetof(LINECALLSTATUS, dwCallFeatures2);
constexpr DWORD LINEDEVCAPS_FIXEDSIZE_1X = offsetof(LINEDEVCAPS, dwSettableDevStatus);
constexpr DWORD LINEADDRESSCAPS_FIXEDSIZE_1X = offsetof(LINEADDRESSCAPS, dwPredictiveAutoTransferStates);
constexpr DWORD LINEDEVSTATUS_FIXEDSIZE_1X = offsetof(LINEDEVSTATUS, dwAvailableMediaModes);

// ---- Functions ------------------------------------------------------------------------------
// Synchronous functions return 0 or a LINEERR_ code. Asynchronous ones (lineMakeCall,
// lineDial, lineAnswer, lineDrop) return a positive request identifier or a LINEERR_
// code; the result of an accepted request arrives later as LINE_REPLY (parameter 1
// the identifier, parameter 2 the result). Every message is delivered through the
// event loop of the thread that called lineInitialize, never from inside a line function.
LONG lineInitialize(HLINEAPP *lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                    const char *lpszAppName, DWORD *lpdwNumDevs);
LONG lineShutdown(HLINEAPP hLineApp);
LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                             DWORD dwAPIHighVersion, DWORD *lpdwAPIVersion, LINEEXTENSIONID *lpExtensionID);
LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE *lphLine, DWORD dwAPIVersion, DWORD dwExtVersion,
              DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes,
              const LINECALLPARAMS *lpCallParams);
LONG lineClose(HLINE hLine);
LONG lineSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates);
LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                    LINEDEVCAPS *lpLineDevCaps);
LONG lineGetAddressCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAddressID, DWORD dwAPIVersion,
                        DWORD dwExtVersion, LINEADDRESSCAPS *lpAddressCaps);
LONG lineGetCallInfo(HCALL hCall, LINECALLINFO *lpCallInfo);
LONG lineGetCallStatus(HCALL hCall, LINECALLSTATUS *lpCallStatus);
LONG lineGetLineDevStatus(HLINE hLine, LINEDEVSTATUS *lpLineDevStatus);
LONG lineMakeCall(HLINE hLine, HCALL *lphCall, const char *lpszDestAddress, DWORD dwCountryCode,
                  const LINECALLPARAMS *lpCallParams);
LONG lineDial(HCALL hCall, const char *lpszDestAddress, DWORD dwCountryCode);
LONG lineAnswer(HCALL hCall, const char *lpsUserUserInfo, DWORD dwSize);
LONG lineDrop(HCALL hCall, const char *lpsUserUserInfo, DWORD dwSize);
LONG lineDeallocateCall(HCALL hCall);
LONG lineConfigDialog(DWORD dwDeviceID, HWND hwndOwner, const char *lpszDeviceClass);
