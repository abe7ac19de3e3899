/* The proxy and stub code widl generates for IIniFormat and IIniFile.
 * Compiled with USE_STUBLESS_PROXY defined before rpcproxy.h is first
 * included: the generated tables assume the stubless proxy header layout. */
#include <objbase.h>
#include <rpcproxy.h>

/* mingw's unknwn.h declares these only for C++; the generated proxy tables
 * refer to them. */
HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown *This, REFIID riid, void **ppvObject);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown *This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown *This);

#include "IniPlugin_p.c"
