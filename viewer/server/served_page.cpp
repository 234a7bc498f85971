#include "served_page.h"

namespace tarnview::server {

std::string ServedPage() {
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>tarnview</title></head>\n"
           "<body><p>tarnview serve: the page is not built yet; the API is under /api/reports.</p></body></html>\n";
}

}  // namespace tarnview::server
