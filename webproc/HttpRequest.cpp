#include "webproc/HttpProcessor.h"

int HttpProcessor::GetFormType() {
    return kFormNone;
}
int HttpProcessor::GetReqType() {
    m_ReqType = kReqNone;
    return m_ReqType;
}
int HttpProcessor::GetRequestNameAndParams(char* name, ParamList<ParamListItem>&) {
    if (name) name[0] = '\0';
    return -1;
}
int HttpProcessor::GetParams(const char*, ParamList<ParamListItem>&) {
    return -1;
}
int HttpProcessor::GetDecodedParamValue(const char*, Vessel&) {
    return 0;
}
void HttpProcessor::GetParameter(const char*, Vessel&) {}
int HttpProcessor::GetAppName(char* name) {
    if (name) name[0] = '\0';
    return -1;
}
long HttpProcessor::FindCallInBody() {
    return -1;
}
long HttpProcessor::FindCallInPath() {
    return -1;
}
long HttpProcessor::FormSearchStart() {
    return 0;
}
void HttpProcessor::FillUtf16Values(ParamList<ParamListItem>&) {}
