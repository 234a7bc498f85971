#include "output/report_writer.h"

#include "output/markup.h"

Region::~Region() {
    if (m_writer != nullptr && std::uncaught_exceptions() == m_exceptions) m_writer->WriteRegionEnd();
}

void ReportWriter::WriteLine(const char* format, const char* text, const char* after) {
    FormatLine(m_line, format, text);
    m_out << m_line << after;
}

void ReportWriter::WriteRegionEnd() { m_out << markup::kRegionEnd << "\n"; }
