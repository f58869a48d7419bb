#include "webproc/HttpProcessor.h"

int HttpProcessor::Upload(const char*, ParamList<ParamListItem>&, const char*,
                          UploadTraceList<UploadTraceListItem>&) {
    return 0;
}
