#!/usr/bin/python3
"""A pymodbus Modbus ASCII slave on a serial device, for the serial channel's peer tests.

Usage: serial_pymodbus_ascii_slave.py DEVICE UNIT
Holding registers 0.. hold 1111, 2222, 3333; 8 data bits (the characters are 7-bit), no parity, 9600 baud.
Prints "ready" once serving; exits 3 when pymodbus is missing.
"""
import sys

try:
    from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                    ModbusSlaveContext)
    from pymodbus.server import StartSerialServer
    from pymodbus.transaction import ModbusAsciiFramer
except ImportError:
    print("pymodbus missing", flush=True)
    sys.exit(3)


def main():
    device, unit = sys.argv[1], int(sys.argv[2])
    block = ModbusSequentialDataBlock(0, [1111, 2222, 3333] + [0] * 61)
    slave = ModbusSlaveContext(hr=block, zero_mode=True)
    context = ModbusServerContext(slaves={unit: slave}, single=False)
    print("ready", flush=True)
    StartSerialServer(context=context, framer=ModbusAsciiFramer, port=device, baudrate=9600,
                      bytesize=8, parity="N", stopbits=1, timeout=0.05)
    return 0


if __name__ == "__main__":
    sys.exit(main())
