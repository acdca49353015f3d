#!/usr/bin/env python3
"""A simulated AT modem on a pseudo-terminal: linked as LINK, it answers what ModemManager
and a chat script ask of a GSM data modem, and logs every command it gets to LOG, one a
line. Usage: sim_modem.py LINK LOG"""
import os
import select
import sys
import tty

link, log_path = sys.argv[1], sys.argv[2]
master, slave = os.openpty()
tty.setraw(slave)
if os.path.lexists(link):
    os.unlink(link)
os.symlink(os.ttyname(slave), link)
log = open(log_path, "a", buffering=1)

# The SIM: its IMSI, the MNC length its administrative data (EF_AD) states, and its service
# provider name (EF_SPN; none when empty). COPS is the network the modem is registered on.
imsi = os.environ.get("ORVANE_SIM_IMSI", "001010123456789")
mnc_length = os.environ.get("ORVANE_SIM_MNC_LENGTH", "")
spn = os.environ.get("ORVANE_SIM_SPN", "")
registered = os.environ.get("ORVANE_SIM_COPS", "00101")

contexts = {}  # cid: (type, apn)
echo = True
cops_format = 0
data_mode = False


def answer(command):
    """The reply to one command line, without the final result when it is given."""
    global echo, cops_format, data_mode
    c = command.upper()
    if c in ("AT", "ATV1", "AT+CMEE=1", "ATX4", "AT&C1", "ATZ", "AT%IPSYS?", "ATH", "ATH0"):
        return ["OK"]
    if c == "ATE0":
        echo = False
        return ["OK"]
    if c == "AT+GCAP":
        return ["+GCAP: +CGSM,+DS,+ES", "OK"]
    if c in ("AT+CGMI", "AT+GMI"):
        return ["Orvane Test Modems", "OK"]
    if c in ("AT+CGMM", "AT+GMM"):
        return ["SIM-1", "OK"]
    if c in ("AT+CGMR", "AT+GMR"):
        return ["1.0", "OK"]
    if c in ("AT+CGSN", "AT+GSN"):
        return ["490154203237518", "OK"]
    if c == "AT+CIMI":
        return [imsi, "OK"]
    if c == "AT+CPIN?":
        return ["+CPIN: READY", "OK"]
    if c.startswith("AT+CRSM=176,12258"):
        return ['+CRSM: 144,0,"98101430121181157002"', "OK"]
    if c.startswith("AT+CRSM=176,28589") and mnc_length:
        return [f'+CRSM: 144,0,"0000000{mnc_length}"', "OK"]
    if c.startswith("AT+CRSM=176,28486") and spn:
        # Display condition, then the name in the GSM default alphabet, padded with FF.
        return [f'+CRSM: 144,0,"01{spn.encode().hex().upper()}{"FF" * (16 - len(spn))}"', "OK"]
    if c == "AT+CREG?":
        return ["+CREG: 0,1", "OK"]
    if c == "AT+CGREG?":
        return ["+CGREG: 0,1", "OK"]
    if c.startswith("AT+COPS=3,"):
        cops_format = int(c[len("AT+COPS=3,"):] or 0)
        return ["OK"]
    if c == "AT+COPS?":
        name = {0: '"Orvane Net"', 1: '"Orvane"', 2: f'"{registered}"'}.get(cops_format, '"Orvane Net"')
        return [f"+COPS: 0,{cops_format},{name},0", "OK"]
    if c == "AT+CSQ":
        return ["+CSQ: 20,99", "OK"]
    if c == "AT+CGDCONT=?":
        return ['+CGDCONT: (1-10),"IP",,,(0),(0)', '+CGDCONT: (1-10),"IPV6",,,(0),(0)',
                '+CGDCONT: (1-10),"IPV4V6",,,(0),(0)', "OK"]
    if c == "AT+CGDCONT?":
        return [f'+CGDCONT: {cid},"{t}","{a}","0.0.0.0",0,0' for cid, (t, a) in sorted(contexts.items())] + ["OK"]
    if c.startswith("AT+CGDCONT="):
        parts = command[len("AT+CGDCONT="):].split(",")
        try:
            cid = int(parts[0])
        except ValueError:
            return ["ERROR"]
        if len(parts) == 1:
            contexts.pop(cid, None)
        else:
            contexts[cid] = (parts[1].strip('"'), parts[2].strip('"') if len(parts) > 2 else "")
        return ["OK"]
    if c == "AT+CGACT?":
        return [f"+CGACT: {cid},0" for cid in sorted(contexts)] + ["OK"]
    if c.startswith("ATD"):
        data_mode = True
        return ["CONNECT 115200"]
    return ["ERROR"]


buffer = b""
while True:
    ready, _, _ = select.select([master], [], [], 1.0)
    if not ready:
        continue
    try:
        chunk = os.read(master, 4096)
    except OSError:
        continue  # the other side closed; it may open the port again
    if not chunk:
        continue
    if data_mode:
        # PPP frames until the escape; the line is then back in command mode.
        if b"+++" in chunk:
            data_mode = False
            os.write(master, b"\r\nOK\r\n")
        continue
    if echo:
        os.write(master, chunk)
    buffer += chunk
    while b"\r" in buffer or b"\n" in buffer:
        cut = min(i for i in (buffer.find(b"\r"), buffer.find(b"\n")) if i >= 0)
        line, buffer = buffer[:cut].decode("latin-1").strip(), buffer[cut + 1:]
        if not line:
            continue
        log.write(line + "\n")
        for reply in answer(line):
            os.write(master, b"\r\n" + reply.encode() + b"\r\n")
