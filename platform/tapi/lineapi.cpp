#include "lineapi.h"

#include "lineservice.h"

LONG lineInitialize(HLINEAPP *lphLineApp, HINSTANCE, LINECALLBACK lpfnCallback, const char *, DWORD *lpdwNumDevs)
{
    return LineService::instance().initialize(lphLineApp, lpfnCallback, lpdwNumDevs);
}

LONG lineShutdown(HLINEAPP hLineApp) { return LineService::instance().shutdown(hLineApp); }

LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion, DWORD dwAPIHighVersion,
                             DWORD *lpdwAPIVersion, LINEEXTENSIONID *lpExtensionID)
{
    return LineService::instance().negotiateAPIVersion(hLineApp, dwDeviceID, dwAPILowVersion, dwAPIHighVersion,
                                                        lpdwAPIVersion, lpExtensionID);
}

LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE *lphLine, DWORD dwAPIVersion, DWORD dwExtVersion,
              DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes, const LINECALLPARAMS *lpCallParams)
{
    return LineService::instance().open(hLineApp, dwDeviceID, lphLine, dwAPIVersion, dwExtVersion,
                                         dwCallbackInstance, dwPrivileges, dwMediaModes, lpCallParams);
}

LONG lineClose(HLINE hLine) { return LineService::instance().close(hLine); }

LONG lineSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates)
{
    return LineService::instance().setStatusMessages(hLine, dwLineStates, dwAddressStates);
}

LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                    LINEDEVCAPS *lpLineDevCaps)
{
    return LineService::instance().getDevCaps(hLineApp, dwDeviceID, dwAPIVersion, dwExtVersion, lpLineDevCaps);
}

LONG lineGetAddressCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAddressID, DWORD dwAPIVersion,
                        DWORD dwExtVersion, LINEADDRESSCAPS *lpAddressCaps)
{
    return LineService::instance().getAddressCaps(hLineApp, dwDeviceID, dwAddressID, dwAPIVersion, dwExtVersion,
                                                   lpAddressCaps);
}

LONG lineGetCallInfo(HCALL hCall, LINECALLINFO *lpCallInfo)
{
    return LineService::instance().getCallInfo(hCall, lpCallInfo);
}

LONG lineGetCallStatus(HCALL hCall, LINECALLSTATUS *lpCallStatus)
{
    return LineService::instance().getCallStatus(hCall, lpCallStatus);
}

LONG lineGetLineDevStatus(HLINE hLine, LINEDEVSTATUS *lpLineDevStatus)
{
    return LineService::instance().getLineDevStatus(hLine, lpLineDevStatus);
}

LONG lineMakeCall(HLINE hLine, HCALL *lphCall, const char *lpszDestAddress, DWORD dwCountryCode,
                  const LINECALLPARAMS *lpCallParams)
{
    return LineService::instance().makeCall(hLine, lphCall, lpszDestAddress, dwCountryCode, lpCallParams);
}

LONG lineDial(HCALL hCall, const char *lpszDestAddress, DWORD dwCountryCode)
{
    return LineService::instance().dial(hCall, lpszDestAddress, dwCountryCode);
}

LONG lineAnswer(HCALL hCall, const char *, DWORD) { return LineService::instance().answer(hCall); }

LONG lineDrop(HCALL hCall, const char *, DWORD) { return LineService::instance().drop(hCall); }

LONG lineDeallocateCall(HCALL hCall) { return LineService::instance().deallocateCall(hCall); }

LONG lineConfigDialog(DWORD dwDeviceID, HWND hwndOwner, const char *lpszDeviceClass)
{
    return LineService::instance().configDialog(dwDeviceID, hwndOwner, lpszDeviceClass);
}
