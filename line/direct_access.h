// Raw command frames to amplifier memory and the status-byte check that every
// amplifier command's answer goes through.
#pragma once

namespace tav::comm {

// STR1 -> 0, -27, -28, -29, -33 or -35.
short Wyn_STR_ERR_Chk(const unsigned char* status);

short Wyn_General_Acs(unsigned char station, unsigned char command, unsigned char mode, unsigned char memoryKind,
                      unsigned char addressLow, unsigned char addressMiddle, unsigned char addressHigh,
                      int dataLength, const unsigned char* data, unsigned short replyLength, unsigned char* reply);

short Wyn_Primitive_Acs(int station, unsigned char command, unsigned char mode, unsigned char memoryKind,
                        unsigned char addressLow, unsigned char addressMiddle, unsigned char addressHigh,
                        int firstLength, const unsigned char* firstData, int secondLength,
                        const unsigned char* secondData, unsigned short replyLength, unsigned char* reply);

}  // namespace tav::comm
