#!/usr/bin/python3
"""Modbus ASCII frames made and read by pymodbus, for checking the system's framing.

  pymodbus_ascii_frames.py answers      prints "label hex-of-frame" for answers of unit 3
  pymodbus_ascii_frames.py decode FILE  decodes the requests in FILE (one hex frame a line)
Exits 3 when pymodbus is missing.
"""
import binascii
import sys

try:
    from pymodbus.bit_read_message import ReadCoilsResponse, ReadDiscreteInputsResponse
    from pymodbus.bit_write_message import WriteSingleCoilResponse
    from pymodbus.diag_message import ReturnQueryDataResponse
    from pymodbus.factory import ClientDecoder, ServerDecoder
    from pymodbus.pdu import ExceptionResponse
    from pymodbus.register_read_message import (ReadHoldingRegistersResponse,
                                                ReadInputRegistersResponse)
    from pymodbus.register_write_message import (WriteMultipleRegistersResponse,
                                                 WriteSingleRegisterResponse)
    from pymodbus.transaction import ModbusAsciiFramer
except ImportError:
    print("pymodbus missing")
    sys.exit(3)


def answers():
    bits = [True, False, False, False, False, False, False, False, False, True]
    messages = [
        ("holding", ReadHoldingRegistersResponse([0x1234, 0x5678, 0x4100])),
        ("input", ReadInputRegistersResponse([1, 0xFFFF])),
        ("coils", ReadCoilsResponse(bits)),
        ("discrete", ReadDiscreteInputsResponse(bits)),
        ("write_register", WriteSingleRegisterResponse(5, 7)),
        ("write_coil", WriteSingleCoilResponse(4, True)),
        ("write_registers", WriteMultipleRegistersResponse(16, 3)),
        ("diagnostic", ReturnQueryDataResponse(0xF0F0)),
        ("exception", ExceptionResponse(3, 2)),
    ]
    framer = ModbusAsciiFramer(ClientDecoder())
    for label, message in messages:
        message.unit_id = 3
        print(label, binascii.hexlify(framer.buildPacket(message)).decode())


def describe(request):
    fields = ["fc=%d" % request.function_code]
    for name in ("address", "count", "value", "values", "sub_function_code", "message"):
        if hasattr(request, name):
            value = getattr(request, name)
            if isinstance(value, bytes):
                value = value.hex()
            fields.append("%s=%s" % (name, value))
    return " ".join(fields)


def decode(path):
    with open(path) as frames:
        for line in frames:
            framer = ModbusAsciiFramer(ServerDecoder())
            got = []
            framer.processIncomingPacket(binascii.unhexlify(line.strip()), got.append,
                                         unit=[3], single=False)
            print(describe(got[0]) if got else "rejected")


if __name__ == "__main__":
    if sys.argv[1] == "answers":
        answers()
    else:
        decode(sys.argv[2])
