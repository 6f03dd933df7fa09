#pragma once
// Constants fixed when Quorel.exe is built (the CMake cache variables of its build).

// The web application's path and query; the running version follows directly.
#define QUOREL_WEBAPP_PATH "/touch/default/type/ipad/source/software?ver"
// The update server's folder.
#define QUOREL_UPDATE_PATH "/update/"

// "<scheme>://<web application host>" QUOREL_WEBAPP_PATH, the scheme http or https as built.
extern const char kWebAppUrlPrefix[];
// "<scheme>://<vendor host>/update/": the update server's base address, ending in "/".
extern const char kUpdateBaseUrl[];
// "<scheme>://<vendor host>", the update server's scheme: the maker's home page, shown when an update fails.
extern const char kHomePageUrl[];
// The vendor's name, as the version resource's CompanyName gives it.
extern const char kVendorName[];
