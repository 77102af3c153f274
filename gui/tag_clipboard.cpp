#include "gui/tag_clipboard.h"

#include "model/config_file_reader.h"
#include "model/config_file_writer.h"
#include "model/o_modbus_tag.h"

namespace velk::gui {

std::unique_ptr<QMimeData> TagsToMime(const std::vector<const OModbusTag*>& tags) {
    auto mime = std::make_unique<QMimeData>();
    const std::string bytes = ConfigFileWriter::TagListBytes(tags);
    mime->setData(kModbusFormat, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return mime;
}

bool OffersTags(const QMimeData* mime) { return mime != nullptr && mime->hasFormat(kModbusFormat); }

std::vector<std::unique_ptr<OModbusTag>> TagsFromMime(const QMimeData* mime, FileTime now) {
    std::vector<std::unique_ptr<OModbusTag>> tags;
    if (!OffersTags(mime)) return tags;
    const QByteArray data = mime->data(kModbusFormat);
    if (!ConfigFileReader::ReadTagListBytes(
            std::string_view(data.constData(), static_cast<std::size_t>(data.size())), tags, now)) {
        tags.clear();
    }
    return tags;
}

}  // namespace velk::gui
