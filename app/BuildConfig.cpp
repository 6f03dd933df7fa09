#include "app/BuildConfig.h"
#include "QuorelBuildConfig.h"
#include "update/Restart.h"
#include "update/TransferLimits.h"

const char kWebAppUrlPrefix[] = QUOREL_WEBAPP_SCHEME_STR "://" QUOREL_WEBAPP_HOST_STR QUOREL_WEBAPP_PATH;
const char kUpdateBaseUrl[] = QUOREL_VENDOR_SCHEME_STR "://" QUOREL_VENDOR_HOST_STR QUOREL_UPDATE_PATH;
const char kHomePageUrl[] = QUOREL_VENDOR_SCHEME_STR "://" QUOREL_VENDOR_HOST_STR;
const char kVendorName[] = QUOREL_VENDOR_HOST_STR;
const TransferLimits kTransferLimits = {kAnswerLimitMs / QUOREL_LIMIT_DIVISOR, kSilenceLimitMs / QUOREL_LIMIT_DIVISOR,
                                        kBlockLimitMs / QUOREL_LIMIT_DIVISOR, kDownloadLimitMs / QUOREL_LIMIT_DIVISOR,
                                        kMaxExecutableBytes / QUOREL_LIMIT_DIVISOR};
const DWORD kStartWaitMs = kStartLimitMs / QUOREL_LIMIT_DIVISOR;
const DWORD kUpGraceMs = kUpGraceLimitMs / QUOREL_LIMIT_DIVISOR;
