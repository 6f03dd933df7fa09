#pragma once
// Constants fixed when Quorel.exe is built (the CMake cache variables of its build).

// "http://<web application host>/touch/default/type/ipad/source/software?ver"; the version follows directly.
extern const char kWebAppUrlPrefix[];
// "http://<vendor host>/update/": the update server's base address, ending in "/".
extern const char kUpdateBaseUrl[];
// "http://<vendor host>": the maker's home page, shown when an update fails.
extern const char kHomePageUrl[];
