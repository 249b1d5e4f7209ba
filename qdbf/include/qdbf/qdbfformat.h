// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// The bytes of a DBF table file: a 32-byte header, 32-byte field descriptors, then fixed-length
// records. The one place their offsets and marker bytes are written down; the reader, the
// writer of the sample classifier and the tests' file builder all use these names. Multi-byte
// integers are little-endian.
namespace QDbf {
namespace Format {

    // Table header, 32 bytes at offset 0.
    constexpr int HeaderSize = 32;
    constexpr int VersionOffset = 0;
    constexpr int DateOffset = 1; // 3 bytes: year - 1900, month, day
    constexpr int RecordCountOffset = 4; // 32 bits
    constexpr int HeaderLengthOffset = 8; // 16 bits
    constexpr int RecordLengthOffset = 10; // 16 bits, the deletion flag included
    constexpr int CodepageOffset = 29;

    // Version bytes of the variants without a memo file: the dBASE family, then Visual FoxPro.
    constexpr quint8 VersionFoxBase = 0x02;
    constexpr quint8 VersionDBase3 = 0x03;
    constexpr quint8 VersionDBase4 = 0x04;
    constexpr quint8 VersionDBase5 = 0x05;
    constexpr quint8 VersionVisualObjects = 0x07;
    constexpr quint8 VersionVisualFoxPro = 0x30;
    constexpr quint8 VersionVisualFoxProAutoIncrement = 0x31;

    // What the header holds besides the descriptors: the 32 bytes above and the 0x0D
    // terminator for dBASE, plus a 263-byte backlink area for Visual FoxPro.
    constexpr int DBaseFixedPart = 33;
    constexpr int VisualFoxProFixedPart = 296;
    constexpr char HeaderTerminator = 0x0D;

    // Field descriptor, 32 bytes each, the first right after the table header.
    constexpr int DescriptorSize = 32;
    constexpr int DescriptorNameLength = 11;
    constexpr int DescriptorTypeOffset = 11;
    constexpr int DescriptorLengthOffset = 16; // one unsigned byte
    constexpr int DescriptorPrecisionOffset = 17;

    // Byte 0 of every record; the fields follow from byte 1.
    constexpr char DeletedFlag = '*';
    constexpr char PresentFlag = ' ';
    // Written after the last record.
    constexpr char EndOfFile = 0x1A;

    // Code-page bytes at CodepageOffset.
    constexpr quint8 CodepageByteNone = 0x00;
    constexpr quint8 CodepageByteIBM866 = 0x65;
    constexpr quint8 CodepageByteWindows1251 = 0xC9;

} // namespace Format
} // namespace QDbf
