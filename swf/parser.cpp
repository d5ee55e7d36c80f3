// Reads the tag stream into the dictionary and the timelines.

#include "swf/movie.h"
#include "swf/tags.h"

#include <algorithm>
#include <unordered_set>

namespace swf {

class MovieParser {
public:
    MovieParser(Movie& movie, const ParseLimits& limits) : m(movie), lim(limits) {}

    void run() {
        std::span<const std::uint8_t> tags(m.file.body);
        tags = tags.subspan(std::min(m.file.tagsOffset, tags.size()));
        m.endSeen = parseTimeline(tags, m.timeline, 0, true);
        sortVideoPackets();
        m.budgetExceeded = budgetHit;
    }

private:
    using Bytes = std::span<const std::uint8_t>;

    bool spendRecords(std::size_t n) {
        if (n > lim.maxShapeRecords - std::min(shapeRecords, lim.maxShapeRecords)) {
            budgetHit = true;
            return false;
        }
        shapeRecords += n;
        return true;
    }
    bool spendEntry() {
        if (entries >= lim.maxTimelineEntries) {
            budgetHit = true;
            return false;
        }
        ++entries;
        return true;
    }
    QString text(Bytes b) const { return decodeString(b, m.version()); }

    // ExportAssets and SymbolClass: a count, then (character id, name) pairs.
    void readAssets(BitReader& r, std::vector<ExportedAsset>& out) {
        const std::uint16_t count = r.u16();
        for (std::uint16_t i = 0; i < count && !r.failed() && spendEntry(); ++i) {
            ExportedAsset e;
            e.characterId = r.u16();
            e.name = text(r.cstring());
            if (!r.failed())
                out.push_back(std::move(e));
        }
    }

    // Returns whether End closed the list.
    bool parseTimeline(Bytes data, Timeline& timeline, std::size_t nesting, bool root) {
        TagReader reader(data);
        Tag tag;
        Frame frame;
        bool frameHasContent = false;
        while (!budgetHit && reader.next(tag)) {
            if (tag.code == TagEnd)
                break;
            if (tag.overruns && !salvageable(tag.code))
                break; // a tag that runs past the data is ignored
            BitReader r(tag.body);
            switch (tag.code) {
            case TagShowFrame:
                if (spendEntry()) {
                    timeline.frames.push_back(std::move(frame));
                    frame = Frame{};
                    frameHasContent = false;
                }
                continue;
            case TagPlaceObject:
            case TagPlaceObject2:
            case TagPlaceObject3:
            case TagPlaceObject4:
            case TagRemoveObject:
            case TagRemoveObject2:
                // Too short to name a depth (and a character where one is needed): nothing.
                if (tag.body.size() >= minimumDisplayTagSize(tag.code) && spendEntry())
                    frame.display.push_back(readDisplayTag(r, tag.code));
                break;
            case TagDoAction:
                if (!m.usesAvm2 && spendEntry())
                    frame.actions.push_back(tag.body);
                break;
            case TagDoInitAction:
                if (!m.usesAvm2 && tag.body.size() >= 2 && spendEntry()) {
                    const std::uint16_t id = r.u16();
                    frame.initActions.push_back({id, tag.body.subspan(2)});
                }
                break;
            case TagFrameLabel:
                if (spendEntry())
                    frame.labels.push_back(text(r.cstring()));
                break;
            case TagStartSound:
                if (tag.body.size() >= 2 && spendEntry()) {
                    StartSound s;
                    s.soundId = r.u16();
                    s.info = readSoundInfo(r);
                    frame.sounds.push_back(std::move(s));
                }
                break;
            case TagStartSound2:
                if (spendEntry()) {
                    StartSound s;
                    s.className = text(r.cstring());
                    s.info = readSoundInfo(r);
                    if (!r.failed() && !s.className.isEmpty())
                        frame.sounds.push_back(std::move(s));
                }
                break;
            case TagSoundStreamHead:
            case TagSoundStreamHead2:
                if (tag.body.size() >= 4)
                    frame.streamHead = readStreamHead(r);
                break;
            case TagSoundStreamBlock:
                frame.streamBlock = tag.body;
                break;
            case TagVideoFrame:
                if (tag.body.size() >= 4 && spendEntry()) {
                    VideoFrame v;
                    v.streamId = r.u16();
                    v.frameNumber = r.u16();
                    v.data = r.rest();
                    frame.videoFrames.push_back(v);
                    addVideoPacket(v);
                }
                break;
            case TagSetBackgroundColor:
                if (tag.body.size() >= 3) {
                    frame.backgroundColor = readRgb(r);
                    if (root && !m.backgroundColor)
                        m.backgroundColor = frame.backgroundColor;
                }
                break;
            case TagFreeCharacter:
                if (tag.body.size() >= 2 && spendEntry()) {
                    const std::uint16_t id = r.u16();
                    frame.freed.push_back(id);
                    freed.insert(id);
                }
                break;
            case TagDefineSprite:
                parseSprite(tag, nesting, frame);
                break;
            default:
                if (!parseMovieTag(tag, r))
                    parseDefinition(tag, r, frame);
                break;
            }
            frameHasContent = true;
        }
        // Control tags after the last ShowFrame make one more frame; a timeline has at least one.
        if (frameHasContent || timeline.frames.empty())
            timeline.frames.push_back(std::move(frame));
        return reader.endSeen();
    }

    static std::size_t minimumDisplayTagSize(std::uint16_t code) {
        switch (code) {
        case TagRemoveObject2:
            return 2;
        case TagPlaceObject2:
            return 3;
        default:
            return 4;
        }
    }

    // Bitmaps and sounds cut short by the end of the file still give what they hold.
    static bool salvageable(std::uint16_t code) {
        switch (code) {
        case TagDefineBitsJpeg2:
        case TagDefineBitsJpeg3:
        case TagDefineBitsLossless:
        case TagDefineBitsLossless2:
        case TagDefineSound:
        case TagDefineSprite:
            return true;
        default:
            return false;
        }
    }

    // Tags about the whole movie. Returns false for anything else.
    bool parseMovieTag(const Tag& tag, BitReader& r) {
        switch (tag.code) {
        case TagFileAttributes: {
            const std::uint8_t b = r.u8();
            FileAttributes a;
            a.useDirectBlit = b & 0x40;
            a.useGpu = b & 0x20;
            a.hasMetadata = b & 0x10;
            a.actionScript3 = b & 0x08;
            a.useNetwork = b & 0x01;
            if (!m.attributes)
                m.attributes = a;
            if (a.actionScript3)
                m.usesAvm2 = true;
            return true;
        }
        case TagSymbolClass: {
            m.usesAvm2 = true;
            readAssets(r, m.symbolClasses);
            return true;
        }
        case TagDoAbc:
        case TagDoAbcPrerelease: {
            m.usesAvm2 = true;
            AbcBlock block;
            block.frame = m.timeline.frames.size();
            if (tag.code == TagDoAbc) {
                block.flags = r.u32();
                block.name = text(r.cstring());
                if (r.failed())
                    return true;
                block.data = r.rest();
            } else {
                block.data = tag.body;
            }
            m.abcBlocks.push_back(std::move(block));
            return true;
        }
        case TagDefineBinaryData: {
            // Character id and four reserved bytes, then the data: a shorter tag defines nothing.
            if (tag.body.size() < 6)
                return true;
            const std::uint16_t id = r.u16();
            r.u32();
            if (!r.failed())
                m.binaryData.try_emplace(id, r.rest());
            return true;
        }
        case TagJpegTables:
            if (jpegTables.empty())
                jpegTables = tag.body;
            return true;
        case TagExportAssets:
            readAssets(r, m.exports);
            return true;
        case TagDefineScalingGrid: {
            const std::uint16_t id = r.u16();
            const Rect grid = readRect(r);
            if (!r.failed())
                m.scalingGrids.try_emplace(id, grid);
            return true;
        }
        case TagScriptLimits:
            if (tag.body.size() >= 4) {
                m.maxRecursionDepth = r.u16();
                m.scriptTimeoutSeconds = r.u16();
            }
            return true;
        case TagDefineSceneAndFrameLabelData: {
            const std::uint32_t count = r.encodedU32();
            for (std::uint32_t i = 0; i < count && !r.failed() && spendEntry(); ++i) {
                Scene s;
                s.frameOffset = r.encodedU32();
                s.name = text(r.cstring());
                if (!r.failed())
                    m.scenes.push_back(std::move(s));
            }
            return true;
        }
        default:
            return false;
        }
    }

    // Registers a definition; a later one for a taken id is dropped unless FreeCharacter freed
    // the id first, in which case the frame records the new definition.
    void define(std::unique_ptr<Character> c, std::uint16_t code, Frame& frame) {
        c->tagCode = code;
        const std::uint16_t id = c->id;
        if (!m.dictionary.contains(id)) {
            m.dictionary.insert(std::move(c));
            return;
        }
        if (freed.erase(id) && spendEntry()) {
            frame.redefined.push_back({id, c.get()});
            m.m_redefinitions.push_back(std::move(c));
        }
    }

    void parseDefinition(const Tag& tag, BitReader& r, Frame& frame) {
        switch (tag.code) {
        case TagDefineShape:
            return defineShape(r, 1, tag.code, frame);
        case TagDefineShape2:
            return defineShape(r, 2, tag.code, frame);
        case TagDefineShape3:
            return defineShape(r, 3, tag.code, frame);
        case TagDefineShape4:
            return defineShape(r, 4, tag.code, frame);
        case TagDefineMorphShape:
            return defineMorph(r, 1, tag.code, frame);
        case TagDefineMorphShape2:
            return defineMorph(r, 2, tag.code, frame);
        case TagDefineBits:
        case TagDefineBitsJpeg2:
        case TagDefineBitsJpeg3:
        case TagDefineBitsJpeg4:
            return defineJpeg(r, tag.code, frame);
        case TagDefineBitsLossless:
        case TagDefineBitsLossless2:
            return defineLossless(r, tag.code, frame);
        case TagDefineFont:
            return defineFont1(r, tag.code, frame);
        case TagDefineFont2:
        case TagDefineFont3:
            return defineFont2(r, tag.code, frame);
        case TagDefineFont4:
            return defineFont4(r, tag.code, frame);
        case TagDefineFontInfo:
        case TagDefineFontInfo2:
            return readFontInfo(r, tag.code);
        case TagDefineText:
        case TagDefineText2:
            return defineText(r, tag.code, frame);
        case TagDefineEditText:
            return defineEditText(r, tag.code, frame);
        case TagDefineButton:
        case TagDefineButton2:
            return defineButton(r, tag.code, frame);
        case TagDefineButtonCxform:
            return readButtonCxform(r);
        case TagDefineButtonSound:
            return readButtonSound(r);
        case TagDefineSound:
            return defineSound(r, tag.code, frame);
        case TagDefineVideoStream:
            return defineVideo(r, tag.code, frame);
        default:
            return; // unknown or skipped tags
        }
    }

    // ---- display tags ----

    DisplayTag readDisplayTag(BitReader& r, std::uint16_t code) {
        DisplayTag t;
        switch (code) {
        case TagRemoveObject:
            t.kind = DisplayTag::Kind::Remove;
            r.u16(); // character id, not needed
            t.depth = r.u16();
            return t;
        case TagRemoveObject2:
            t.kind = DisplayTag::Kind::Remove;
            t.depth = r.u16();
            return t;
        case TagPlaceObject:
            t.version = 1;
            t.characterId = r.u16();
            t.depth = r.u16();
            t.matrix = readMatrix(r);
            if (r.remaining() > 0)
                t.colorTransform = readColorTransform(r, false);
            return t;
        default:
            break;
        }
        t.version = code == TagPlaceObject2 ? 2 : 3;
        const std::uint8_t flags = r.u8();
        const std::uint8_t flags2 = t.version == 3 ? r.u8() : 0;
        t.move = flags & 0x01;
        t.depth = r.u16();
        const bool hasCharacter = flags & 0x02;
        if ((flags2 & 0x08) || ((flags2 & 0x10) && hasCharacter))
            t.className = text(r.cstring());
        if (hasCharacter)
            t.characterId = r.u16();
        if (flags & 0x04)
            t.matrix = readMatrix(r);
        if (flags & 0x08)
            t.colorTransform = readColorTransform(r, true);
        if (flags & 0x10)
            t.ratio = r.u16();
        if (flags & 0x20)
            t.name = text(r.cstring());
        if (flags & 0x40)
            t.clipDepth = r.u16();
        if (flags2 & 0x01)
            t.filters = readFilters(r);
        if (flags2 & 0x02) {
            const std::uint8_t mode = r.u8();
            t.blendMode = mode >= 2 && mode <= 14 ? BlendMode(mode) : BlendMode::Normal;
        }
        if (flags2 & 0x04)
            t.cacheAsBitmap = r.u8() != 0;
        if (flags2 & 0x20)
            t.visible = r.u8() != 0;
        if (flags2 & 0x40)
            t.backgroundColor = readRgba(r);
        if ((flags & 0x80) && !r.failed())
            t.clipActions = readClipActions(r);
        return t;
    }

    std::vector<ClipAction> readClipActions(BitReader& r) {
        std::vector<ClipAction> out;
        const bool wide = m.version() >= 6;
        r.u16(); // reserved
        if (wide)
            r.u32();
        else
            r.u16();
        while (!r.failed()) {
            const std::uint32_t events = wide ? r.u32() : r.u16();
            if (events == 0 || r.failed())
                break;
            std::uint32_t size = r.u32();
            ClipAction a;
            a.events = events;
            if (events & 0x020000) { // KeyPress
                a.keyCode = r.u8();
                size = size ? size - 1 : 0;
            }
            a.actions = r.bytes(std::min<std::size_t>(size, r.remaining()));
            if (r.failed() || !spendEntry())
                break;
            out.push_back(a);
        }
        return out;
    }

    std::vector<Filter> readFilters(BitReader& r) {
        std::vector<Filter> out;
        const std::uint8_t count = r.u8();
        for (unsigned i = 0; i < count && !r.failed(); ++i) {
            Filter f;
            const std::uint8_t id = r.u8();
            if (id > 7) {
                r.setFailed();
                break;
            }
            f.type = FilterType(id);
            auto flagsWithPasses = [&](unsigned passBits) {
                const std::uint8_t b = r.u8();
                f.inner = b & 0x80;
                f.knockout = b & 0x40;
                f.compositeSource = b & 0x20;
                if (passBits == 4)
                    f.onTop = b & 0x10;
                f.passes = b & ((1u << passBits) - 1);
            };
            switch (f.type) {
            case FilterType::DropShadow:
                f.colors.push_back(readRgba(r));
                f.blurX = r.fixed();
                f.blurY = r.fixed();
                f.angle = r.fixed();
                f.distance = r.fixed();
                f.strength = r.fixed8();
                flagsWithPasses(5);
                break;
            case FilterType::Blur:
                f.blurX = r.fixed();
                f.blurY = r.fixed();
                f.passes = r.u8() >> 3;
                break;
            case FilterType::Glow:
                f.colors.push_back(readRgba(r));
                f.blurX = r.fixed();
                f.blurY = r.fixed();
                f.strength = r.fixed8();
                flagsWithPasses(5);
                break;
            case FilterType::Bevel:
                f.colors.push_back(readRgba(r));
                f.colors.push_back(readRgba(r));
                f.blurX = r.fixed();
                f.blurY = r.fixed();
                f.angle = r.fixed();
                f.distance = r.fixed();
                f.strength = r.fixed8();
                flagsWithPasses(4);
                break;
            case FilterType::GradientGlow:
            case FilterType::GradientBevel: {
                const std::uint8_t n = r.u8();
                for (unsigned k = 0; k < n && !r.failed(); ++k)
                    f.colors.push_back(readRgba(r));
                for (unsigned k = 0; k < n && !r.failed(); ++k)
                    f.ratios.push_back(r.u8());
                f.blurX = r.fixed();
                f.blurY = r.fixed();
                f.angle = r.fixed();
                f.distance = r.fixed();
                f.strength = r.fixed8();
                flagsWithPasses(4);
                break;
            }
            case FilterType::Convolution: {
                f.matrixX = r.u8();
                f.matrixY = r.u8();
                f.divisor = r.f32();
                f.bias = r.f32();
                const unsigned n = unsigned(f.matrixX) * f.matrixY;
                for (unsigned k = 0; k < n && !r.failed(); ++k)
                    f.matrix.push_back(r.f32());
                f.defaultColor = readRgba(r);
                const std::uint8_t b = r.u8();
                f.clamp = b & 0x02;
                f.preserveAlpha = b & 0x01;
                break;
            }
            case FilterType::ColorMatrix:
                for (int k = 0; k < 20 && !r.failed(); ++k)
                    f.matrix.push_back(r.f32());
                break;
            }
            if (!r.failed())
                out.push_back(std::move(f));
        }
        return out;
    }

    SoundInfo readSoundInfo(BitReader& r) {
        SoundInfo s;
        const std::uint8_t flags = r.u8();
        s.syncStop = flags & 0x20;
        s.syncNoMultiple = flags & 0x10;
        if (flags & 0x01)
            s.inPoint = r.u32();
        if (flags & 0x02)
            s.outPoint = r.u32();
        if (flags & 0x04)
            s.loopCount = r.u16();
        if (flags & 0x08) {
            const std::uint8_t n = r.u8();
            for (unsigned i = 0; i < n && !r.failed(); ++i) {
                SoundEnvelopePoint p;
                p.pos44 = r.u32();
                p.left = r.u16();
                p.right = r.u16();
                if (!r.failed())
                    s.envelope.push_back(p);
            }
        }
        return s;
    }

    static SoundFormat readSoundFormat(BitReader& r) {
        static constexpr std::uint32_t kRates[4] = {5512, 11025, 22050, 44100};
        SoundFormat f;
        f.codec = std::uint8_t(r.ub(4));
        f.rate = kRates[r.ub(2)];
        f.is16Bit = r.flag();
        f.stereo = r.flag();
        return f;
    }

    SoundStreamHead readStreamHead(BitReader& r) {
        SoundStreamHead h;
        r.ub(4);
        const std::uint32_t playbackRate = r.ub(2);
        static constexpr std::uint32_t kRates[4] = {5512, 11025, 22050, 44100};
        h.playback.rate = kRates[playbackRate];
        h.playback.is16Bit = r.flag();
        h.playback.stereo = r.flag();
        h.stream = readSoundFormat(r);
        h.playback.codec = h.stream.codec;
        h.sampleCount = r.u16();
        if (h.stream.codec == 2 && r.remaining() >= 2)
            h.latencySeek = r.s16();
        return h;
    }

    // ---- shapes ----

    void defineShape(BitReader& r, int level, std::uint16_t code, Frame& frame) {
        auto s = std::make_unique<Shape>();
        s->id = r.u16();
        s->level = level;
        s->bounds = readRect(r);
        s->edgeBounds = s->bounds;
        if (level == 4) {
            s->edgeBounds = readRect(r);
            const std::uint8_t flags = r.u8();
            s->windingRule = flags & 0x04;
            s->nonScalingStrokes = flags & 0x02;
            s->scalingStrokes = flags & 0x01;
        }
        if (r.failed())
            return;
        s->styleTables.push_back(detail::readStyleTable(r, level));
        const auto& first = s->styleTables.front();
        s->records = detail::readShapeRecords(r, level, &s->styleTables, first.fills.size(),
                                              first.lines.size());
        if (!spendRecords(s->records.size()))
            return;
        define(std::move(s), code, frame);
    }

    MorphFillStyle readMorphFill(BitReader& r) {
        MorphFillStyle f;
        const std::uint8_t type = r.u8();
        switch (type) {
        case 0x00:
            f.startColor = readRgba(r);
            f.endColor = readRgba(r);
            break;
        case 0x10:
        case 0x12:
        case 0x13: {
            f.type = FillType(type);
            f.startMatrix = readMatrix(r);
            f.endMatrix = readMatrix(r);
            const std::uint8_t head = r.u8();
            const unsigned spread = head >> 6;
            f.spread = spread <= 2 ? SpreadMode(spread) : SpreadMode::Pad;
            f.interpolation =
                ((head >> 4) & 3) == 1 ? InterpolationMode::LinearRgb : InterpolationMode::Rgb;
            const unsigned n = head & 0x0F;
            for (unsigned i = 0; i < n && !r.failed(); ++i) {
                MorphGradientStop s;
                s.startRatio = r.u8();
                s.startColor = readRgba(r);
                s.endRatio = r.u8();
                s.endColor = readRgba(r);
                f.stops.push_back(s);
            }
            if (type == 0x13) {
                f.startFocalPoint = std::clamp(r.fixed8(), -1.0, 1.0);
                f.endFocalPoint = std::clamp(r.fixed8(), -1.0, 1.0);
            }
            break;
        }
        case 0x40:
        case 0x41:
        case 0x42:
        case 0x43:
            f.type = FillType(type);
            f.bitmapId = r.u16();
            f.startMatrix = readMatrix(r);
            f.endMatrix = readMatrix(r);
            break;
        default:
            r.setFailed();
            break;
        }
        return f;
    }

    MorphLineStyle readMorphLine(BitReader& r, int level) {
        MorphLineStyle l;
        l.startWidth = r.u16();
        l.endWidth = r.u16();
        if (level == 1) {
            l.startColor = readRgba(r);
            l.endColor = readRgba(r);
            return l;
        }
        const std::uint8_t a = r.u8();
        const std::uint8_t b = r.u8();
        auto cap = [](unsigned v) { return v <= 2 ? CapStyle(v) : CapStyle::Round; };
        l.startCap = cap(a >> 6);
        const unsigned join = (a >> 4) & 3;
        l.join = join <= 2 ? JoinStyle(join) : JoinStyle::Round;
        l.hasFill = a & 0x08;
        l.noHScale = a & 0x04;
        l.noVScale = a & 0x02;
        l.pixelHinting = a & 0x01;
        l.noClose = b & 0x04;
        l.endCap = cap(b & 0x03);
        if (l.join == JoinStyle::Miter)
            l.miterLimit = r.u16() / 256.0;
        if (l.hasFill) {
            l.fill = readMorphFill(r);
            l.startColor = l.fill.startColor;
            l.endColor = l.fill.endColor;
        } else {
            l.startColor = readRgba(r);
            l.endColor = readRgba(r);
        }
        return l;
    }

    void defineMorph(BitReader& r, int level, std::uint16_t code, Frame& frame) {
        auto s = std::make_unique<MorphShape>();
        s->id = r.u16();
        s->level = level;
        s->startBounds = readRect(r);
        s->endBounds = readRect(r);
        s->startEdgeBounds = s->startBounds;
        s->endEdgeBounds = s->endBounds;
        if (level == 2) {
            s->startEdgeBounds = readRect(r);
            s->endEdgeBounds = readRect(r);
            const std::uint8_t flags = r.u8();
            s->nonScalingStrokes = flags & 0x02;
            s->scalingStrokes = flags & 0x01;
        }
        const std::uint32_t offset = r.u32();
        const std::size_t offsetBase = r.bytePos();
        if (r.failed())
            return;
        std::size_t count = r.u8();
        if (count == 0xFF)
            count = r.u16();
        for (std::size_t i = 0; i < count && !r.failed(); ++i)
            s->fills.push_back(readMorphFill(r));
        count = r.u8();
        if (count == 0xFF)
            count = r.u16();
        for (std::size_t i = 0; i < count && !r.failed(); ++i)
            s->lines.push_back(readMorphLine(r, level));
        if (r.failed())
            return;
        s->startRecords = detail::readShapeRecords(r, 3, nullptr, s->fills.size(), s->lines.size());
        // The end edges are found by the offset, not by where the start edges ended.
        const std::size_t endPos = offsetBase + std::size_t(offset);
        if (offset != 0 && endPos <= r.size()) {
            BitReader e(r.data());
            e.seekByte(endPos);
            s->endRecords = detail::readShapeRecords(e, 3, nullptr, 0, 0);
        }
        if (!spendRecords(s->startRecords.size() + s->endRecords.size()))
            return;
        define(std::move(s), code, frame);
    }

    // ---- bitmaps ----

    void defineJpeg(BitReader& r, std::uint16_t code, Frame& frame) {
        auto b = std::make_unique<Bitmap>();
        b->id = r.u16();
        b->encoding = Bitmap::Encoding::Jpeg;
        b->maxPixels = lim.maxBitmapPixels;
        if (r.failed())
            return;
        if (code == TagDefineBits) {
            b->jpegTables = jpegTables;
            b->imageData = r.rest();
        } else if (code == TagDefineBitsJpeg2) {
            b->imageData = r.rest();
        } else {
            const std::uint32_t alphaOffset = r.u32();
            if (code == TagDefineBitsJpeg4)
                b->deblocking = r.u16() / 256.0;
            const std::size_t imageSize = std::min<std::size_t>(alphaOffset, r.remaining());
            b->imageData = r.bytes(imageSize);
            b->alphaData = r.rest();
        }
        define(std::move(b), code, frame);
    }

    void defineLossless(BitReader& r, std::uint16_t code, Frame& frame) {
        auto b = std::make_unique<Bitmap>();
        b->id = r.u16();
        b->encoding = code == TagDefineBitsLossless ? Bitmap::Encoding::Lossless
                                                    : Bitmap::Encoding::Lossless2;
        b->maxPixels = lim.maxBitmapPixels;
        b->losslessFormat = r.u8();
        b->width = r.u16();
        b->height = r.u16();
        if (b->losslessFormat == 3)
            b->colorTableSize = std::uint16_t(r.u8() + 1);
        if (r.failed())
            return;
        b->imageData = r.rest();
        define(std::move(b), code, frame);
    }

    // ---- fonts and text ----

    // Glyph shapes located by an offset table relative to `base`; each ends where the next
    // begins (or at `end`).
    void readGlyphShapes(std::span<const std::uint8_t> base,
                         const std::vector<std::uint32_t>& offsets, std::size_t end, Font& font) {
        end = std::min(end, base.size());
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            Glyph g;
            const std::size_t start = offsets[i];
            const std::size_t stop =
                i + 1 < offsets.size() ? std::min<std::size_t>(offsets[i + 1], end) : end;
            if (start < stop) {
                BitReader gr(base.subspan(start, stop - start));
                g.records = detail::readShapeRecords(gr, 1, nullptr, 1, 0);
                if (!spendRecords(g.records.size()))
                    g.records.clear();
            }
            font.glyphs.push_back(std::move(g));
        }
    }

    void defineFont1(BitReader& r, std::uint16_t code, Frame& frame) {
        auto f = std::make_unique<Font>();
        f->id = r.u16();
        f->level = 1;
        if (r.failed())
            return;
        const auto table = r.rest();
        BitReader t(table);
        std::vector<std::uint32_t> offsets;
        const std::uint16_t first = t.u16();
        const std::size_t count = std::min<std::size_t>(first / 2, table.size() / 2);
        offsets.push_back(first);
        for (std::size_t i = 1; i < count && !t.failed(); ++i)
            offsets.push_back(t.u16());
        if (!t.failed() && !table.empty())
            readGlyphShapes(table, offsets, table.size(), *f);
        define(std::move(f), code, frame);
    }

    void defineFont2(BitReader& r, std::uint16_t code, Frame& frame) {
        auto f = std::make_unique<Font>();
        f->id = r.u16();
        f->level = code == TagDefineFont3 ? 3 : 2;
        f->emSize = f->level == 3 ? 20480 : 1024;
        const std::uint8_t flags = r.u8();
        f->hasLayout = flags & 0x80;
        f->shiftJis = flags & 0x40;
        f->smallText = flags & 0x20;
        f->ansi = flags & 0x10;
        const bool wideOffsets = flags & 0x08;
        f->wideCodes = flags & 0x04;
        f->italic = flags & 0x02;
        f->bold = flags & 0x01;
        f->language = r.u8();
        f->name = text(r.bytes(r.u8()));
        std::size_t numGlyphs = r.u16();
        if (r.failed())
            return;
        const std::size_t tableStart = r.bytePos();
        const auto body = r.data().subspan(tableStart);
        const std::size_t entry = wideOffsets ? 4 : 2;
        numGlyphs = std::min(numGlyphs, body.size() / entry);
        std::vector<std::uint32_t> offsets;
        for (std::size_t i = 0; i < numGlyphs && !r.failed(); ++i)
            offsets.push_back(wideOffsets ? r.u32() : r.u16());
        std::size_t codeTableOffset = body.size();
        if (numGlyphs > 0 || r.remaining() >= entry)
            codeTableOffset = wideOffsets ? r.u32() : r.u16();
        if (r.failed())
            codeTableOffset = body.size();
        readGlyphShapes(body, offsets, codeTableOffset, *f);
        if (codeTableOffset < body.size()) {
            r.seekByte(tableStart + codeTableOffset);
            for (auto& g : f->glyphs)
                g.code = f->wideCodes ? r.u16() : r.u8();
            if (f->hasLayout && !r.failed()) {
                f->ascent = r.u16();
                f->descent = r.u16();
                f->leading = r.s16();
                for (auto& g : f->glyphs)
                    g.advance = r.s16();
                for (auto& g : f->glyphs)
                    g.bounds = readRect(r);
                const std::uint16_t kerningCount = r.u16();
                for (unsigned i = 0; i < kerningCount && !r.failed(); ++i) {
                    KerningPair k;
                    k.left = f->wideCodes ? r.u16() : r.u8();
                    k.right = f->wideCodes ? r.u16() : r.u8();
                    k.adjustment = r.s16();
                    if (!r.failed())
                        f->kerning.push_back(k);
                }
            }
        }
        define(std::move(f), code, frame);
    }

    // DefineFont4: id, flags (HasFontData 0x04, Italic 0x02, Bold 0x01), name, then the font
    // file to the end of the tag. A font without data stands for a device font of its name.
    void defineFont4(BitReader& r, std::uint16_t code, Frame& frame) {
        auto f = std::make_unique<Font>();
        f->id = r.u16();
        f->level = 4;
        const std::uint8_t flags = r.u8();
        f->italic = flags & 0x02;
        f->bold = flags & 0x01;
        f->name = text(r.cstring());
        if (r.failed())
            return;
        if (flags & 0x04) {
            const auto data = r.bytes(r.remaining());
            f->fontData =
                QByteArray(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
        }
        define(std::move(f), code, frame);
    }

    void readFontInfo(BitReader& r, std::uint16_t code) {
        const std::uint16_t id = r.u16();
        auto* c = m.dictionary.findMutable(id);
        if (!c || c->type != CharacterType::Font)
            return;
        auto& f = static_cast<Font&>(*c);
        const QString name = text(r.bytes(r.u8()));
        const std::uint8_t flags = r.u8();
        if (code == TagDefineFontInfo2)
            f.language = r.u8();
        if (r.failed())
            return;
        f.name = name;
        f.smallText = flags & 0x20;
        f.shiftJis = flags & 0x10;
        f.ansi = flags & 0x08;
        f.italic = flags & 0x04;
        f.bold = flags & 0x02;
        f.wideCodes = (flags & 0x01) || code == TagDefineFontInfo2;
        for (auto& g : f.glyphs) {
            const std::uint16_t c2 = f.wideCodes ? r.u16() : r.u8();
            if (r.failed())
                break;
            g.code = c2;
        }
    }

    void defineText(BitReader& r, std::uint16_t code, Frame& frame) {
        auto t = std::make_unique<StaticText>();
        t->id = r.u16();
        t->bounds = readRect(r);
        t->matrix = readMatrix(r);
        const unsigned glyphBits = r.u8();
        const unsigned advanceBits = r.u8();
        if (r.failed())
            return;
        TextRun state;
        while (!r.failed()) {
            const std::uint8_t head = r.u8();
            if (head == 0 || r.failed())
                break;
            TextRun run = state;
            run.glyphs.clear();
            if (head & 0x08) {
                run.fontId = r.u16();
                run.font = m.dictionary.findAs<Font>(run.fontId);
            }
            if (head & 0x04)
                run.color = code == TagDefineText2 ? readRgba(r) : readRgb(r);
            if (head & 0x01)
                run.x = r.s16();
            if (head & 0x02)
                run.y = r.s16();
            if (head & 0x08)
                run.height = r.u16();
            const std::uint8_t count = r.u8();
            for (unsigned i = 0; i < count && !r.failed(); ++i) {
                GlyphEntry g;
                g.index = r.ub(glyphBits);
                g.advance = r.sb(advanceBits);
                run.glyphs.push_back(g);
            }
            r.align();
            if (r.failed() || !spendEntry())
                break;
            // The pen moves on by the advances; the next record starts there unless it says.
            // Summed wide and held to the pen's range: advances may be any 32-bit numbers.
            state = run;
            std::int64_t x = state.x;
            for (const auto& g : run.glyphs)
                x += g.advance;
            state.x = std::int32_t(std::clamp<std::int64_t>(x, INT32_MIN, INT32_MAX));
            state.glyphs.clear();
            t->runs.push_back(std::move(run));
        }
        define(std::move(t), code, frame);
    }

    void defineEditText(BitReader& r, std::uint16_t code, Frame& frame) {
        auto e = std::make_unique<EditText>();
        e->id = r.u16();
        e->bounds = readRect(r);
        const std::uint8_t a = r.u8();
        const std::uint8_t b = r.u8();
        if (r.failed())
            return;
        e->wordWrap = a & 0x40;
        e->multiline = a & 0x20;
        e->password = a & 0x10;
        e->readOnly = a & 0x08;
        e->autoSize = b & 0x40;
        e->noSelect = b & 0x10;
        e->border = b & 0x08;
        e->background = e->border;
        e->wasStatic = b & 0x04;
        e->html = b & 0x02;
        e->useOutlines = b & 0x01;
        if (a & 0x01) {
            e->fontId = r.u16();
            e->font = m.dictionary.findAs<Font>(e->fontId);
        }
        if (b & 0x80)
            e->fontClass = text(r.cstring());
        if ((a & 0x01) || (b & 0x80))
            e->fontHeight = r.u16();
        if (a & 0x04) {
            e->hasTextColor = true;
            e->textColor = readRgba(r);
        }
        if (a & 0x02)
            e->maxLength = r.u16();
        if (b & 0x20) {
            e->hasLayout = true;
            const std::uint8_t align = r.u8();
            e->align = align <= 3 ? TextAlign(align) : TextAlign::Left;
            e->leftMargin = r.u16();
            e->rightMargin = r.u16();
            e->indent = r.u16();
            e->leading = r.s16();
        }
        e->variableName = text(r.cstring());
        if (a & 0x80)
            e->initialText = text(r.cstring());
        define(std::move(e), code, frame);
    }

    // ---- buttons ----

    void defineButton(BitReader& r, std::uint16_t code, Frame& frame) {
        auto b = std::make_unique<Button>();
        b->id = r.u16();
        b->level = code == TagDefineButton2 ? 2 : 1;
        std::size_t actionStart = 0;
        if (b->level == 2) {
            b->trackAsMenu = r.u8() & 0x01;
            const std::size_t fieldPos = r.bytePos();
            const std::uint16_t offset = r.u16();
            actionStart = offset ? fieldPos + offset : 0;
        }
        if (r.failed())
            return;
        while (!r.failed()) {
            const std::uint8_t flags = r.u8();
            if (flags == 0 || r.failed())
                break;
            ButtonRecord rec;
            rec.states = flags & 0x0F;
            rec.characterId = r.u16();
            rec.depth = r.u16();
            rec.matrix = readMatrix(r);
            if (b->level == 2) {
                rec.colorTransform = readColorTransform(r, true);
                if (flags & 0x10)
                    rec.filters = readFilters(r);
                if (flags & 0x20) {
                    const std::uint8_t mode = r.u8();
                    rec.blendMode = mode >= 2 && mode <= 14 ? BlendMode(mode) : BlendMode::Normal;
                }
            }
            if (r.failed() || !spendEntry())
                break;
            b->records.push_back(std::move(rec));
        }
        if (b->level == 1) {
            if (!r.atEnd())
                b->actions.push_back({CondOverDownToOverUp, 0, r.rest()});
        } else if (actionStart && actionStart < r.size()) {
            // BUTTONCONDACTION records, each giving the distance to the next.
            std::size_t pos = actionStart;
            while (pos + 4 <= r.size() && spendEntry()) {
                BitReader a(r.data().subspan(pos));
                const std::uint16_t size = a.u16();
                ButtonAction act;
                const std::uint8_t c1 = a.u8();
                const std::uint8_t c2 = a.u8();
                act.conditions = std::uint16_t(c1 << 8) | (c2 & 0x01);
                act.keyCode = c2 >> 1;
                const std::size_t length = size ? std::min<std::size_t>(size, a.size()) : a.size();
                act.actions = a.data().subspan(4, length >= 4 ? length - 4 : 0);
                b->actions.push_back(act);
                if (size < 4)
                    break;
                pos += size;
            }
        }
        define(std::move(b), code, frame);
    }

    void readButtonCxform(BitReader& r) {
        const std::uint16_t id = r.u16();
        auto* c = m.dictionary.findMutable(id);
        if (!c || c->type != CharacterType::Button || r.failed())
            return;
        auto& b = static_cast<Button&>(*c);
        const ColorTransform cx = readColorTransform(r, false);
        if (r.failed())
            return;
        for (auto& rec : b.records)
            rec.colorTransform = cx;
    }

    void readButtonSound(BitReader& r) {
        const std::uint16_t id = r.u16();
        auto* c = m.dictionary.findMutable(id);
        if (!c || c->type != CharacterType::Button || r.failed())
            return;
        auto& b = static_cast<Button&>(*c);
        for (auto& s : b.sounds) {
            const std::uint16_t soundId = r.u16();
            if (r.failed())
                break;
            s.soundId = soundId;
            if (soundId)
                s.info = readSoundInfo(r);
        }
    }

    // ---- sprites, sounds, video ----

    void parseSprite(const Tag& tag, std::size_t nesting, Frame& frame) {
        if (tag.body.size() < 4 || nesting >= lim.maxSpriteNesting)
            return;
        BitReader r(tag.body);
        auto s = std::make_unique<Sprite>();
        s->id = r.u16();
        s->declaredFrameCount = r.u16();
        parseTimeline(tag.body.subspan(4), s->timeline, nesting + 1, false);
        define(std::move(s), tag.code, frame);
    }

    void defineSound(BitReader& r, std::uint16_t code, Frame& frame) {
        auto s = std::make_unique<Sound>();
        s->id = r.u16();
        s->format = readSoundFormat(r);
        s->sampleCount = r.u32();
        if (r.failed())
            return;
        s->data = r.rest();
        define(std::move(s), code, frame);
    }

    void defineVideo(BitReader& r, std::uint16_t code, Frame& frame) {
        auto v = std::make_unique<VideoStream>();
        v->id = r.u16();
        v->frameCount = r.u16();
        v->width = r.u16();
        v->height = r.u16();
        r.ub(4);
        v->deblocking = std::uint8_t(r.ub(3));
        v->smoothing = r.flag();
        v->codec = r.u8();
        if (r.failed())
            return;
        define(std::move(v), code, frame);
    }

    // Files the packet with its stream, defined before it in the file; empty or oversized
    // packets are not worth decoding. Sorted once the whole movie is read.
    void addVideoPacket(const VideoFrame& v) {
        auto* c = m.dictionary.findMutable(v.streamId);
        if (!c || c->type != CharacterType::Video || v.data.empty() ||
            v.data.size() > kMaxVideoPacket)
            return;
        static_cast<VideoStream&>(*c).packets.push_back(VideoPacket{v.frameNumber, v.data});
    }
    // By frame number; a frame number given twice keeps its first packet.
    void sortVideoPackets() {
        for (auto& [id, c] : m.dictionary.all()) {
            if (c->type != CharacterType::Video)
                continue;
            auto& packets = static_cast<VideoStream&>(*c).packets;
            auto byNumber = [](const VideoPacket& a, const VideoPacket& b) {
                return a.frameNumber < b.frameNumber;
            };
            std::stable_sort(packets.begin(), packets.end(), byNumber);
            packets.erase(std::unique(packets.begin(), packets.end(),
                                      [](const VideoPacket& a, const VideoPacket& b) {
                                          return a.frameNumber == b.frameNumber;
                                      }),
                          packets.end());
            packets.shrink_to_fit();
        }
    }
    // Larger than any frame of the largest picture the decoders accept, uncompressed.
    static constexpr std::size_t kMaxVideoPacket = std::size_t(16) << 20;

    Movie& m;
    const ParseLimits& lim;
    std::size_t shapeRecords = 0;
    std::size_t entries = 0;
    bool budgetHit = false;
    std::span<const std::uint8_t> jpegTables;
    std::unordered_set<std::uint16_t> freed;
};

Result<std::shared_ptr<const Movie>> Movie::parse(MovieFile file, const ParseLimits& limits) {
    std::shared_ptr<Movie> movie(new Movie());
    movie->file = std::move(file);
    MovieParser(*movie, limits).run();
    return std::shared_ptr<const Movie>(std::move(movie));
}

Result<std::shared_ptr<const Movie>> Movie::load(std::span<const std::uint8_t> bytes,
                                                 const ParseLimits& limits) {
    auto file = loadMovie(bytes, limits.load);
    if (!file)
        return file.error();
    return parse(std::move(file).value(), limits);
}

Result<std::shared_ptr<const Movie>> Movie::loadFile(const QString& path,
                                                     const ParseLimits& limits) {
    auto file = loadMovieFile(path, limits.load);
    if (!file)
        return file.error();
    return parse(std::move(file).value(), limits);
}

std::optional<std::size_t> Timeline::frameForLabel(const QString& label) const {
    for (std::size_t i = 0; i < frames.size(); ++i) {
        for (const QString& l : frames[i].labels) {
            if (l.compare(label, Qt::CaseInsensitive) == 0)
                return i;
        }
    }
    return std::nullopt;
}

} // namespace swf
