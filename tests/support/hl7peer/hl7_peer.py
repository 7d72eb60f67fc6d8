#!/usr/bin/python3
"""A stand-in laboratory information system: an MLLP server from Debian's python3-hl7.

It prints "port N" once it knows its port and "listening N" once it accepts connections,
then one JSON line per message it receives: the message's segments as hl7.parse reads them
(each field a list of the components of its first repetition, unescaped by hl7), its control
id and the code it answered. With --pretty it prints a short readable line instead.

Answers, per --mode: AA (accepted), AE or AR (refused, with --error-text in MSA-3 and ERR-8),
or silent (reads and never answers). --ignore-first N leaves the first N messages unanswered
whatever the mode; --close-after-answer closes the connection after each answer. The LIS can start down, refusing connections because it does not listen
yet: for --down-seconds S, or until a line "up" arrives on standard input (--down-until-told).
"""

import argparse
import asyncio
import json
import socket
import sys

import hl7
import hl7.mllp


def components(message, field):
    if len(field) == 0:
        return [""]
    first = field[0]
    if isinstance(first, hl7.containers.Repetition):
        return [message.unescape(str(c)) for c in first]
    return [message.unescape(str(first))]


def segments_of(message):
    out = {}
    for segment in message:
        name = str(segment[0])
        if name in out:
            continue
        out[name] = [[name]] + [components(message, f) for f in segment[1:]]
    return out


def answer(message, code, text):
    ack = str(message.create_ack(ack_code=code, application="LIS", facility="LAB"))
    if code == "AA":
        return ack
    # Only the delimiters are escaped: hl7's own escape() writes Cyrillic as \X...\ escapes.
    escaped = text
    for delimiter, letter in (("\\", "E"), ("|", "F"), ("^", "S"), ("~", "R"), ("&", "T")):
        escaped = escaped.replace(delimiter, "\\" + letter + "\\")
    segments = ack.rstrip("\r").split("\r")
    segments = [s + "|" + escaped if s.startswith("MSA|") else s for s in segments]
    segments.append("ERR|||207^Application internal error^HL70357|E||||" + escaped)
    return "\r".join(segments) + "\r"


def say(line):
    print(line, flush=True)


async def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--mode", choices=["AA", "AE", "AR", "silent"], default="AA")
    parser.add_argument("--error-text", default="Пациент не найден")
    parser.add_argument("--ignore-first", type=int, default=0)
    parser.add_argument("--down-seconds", type=float, default=0.0)
    parser.add_argument("--down-until-told", action="store_true")
    parser.add_argument("--close-after-answer", action="store_true")
    parser.add_argument("--pretty", action="store_true")
    args = parser.parse_args()

    port = args.port
    if port == 0:
        # The port is chosen now so that a LIS that starts down can say where it will be.
        with socket.socket() as probe:
            probe.bind((args.host, 0))
            port = probe.getsockname()[1]
    say(f"port {port}")
    if args.down_seconds > 0:
        await asyncio.sleep(args.down_seconds)
    if args.down_until_told:
        loop = asyncio.get_running_loop()
        while (await loop.run_in_executor(None, sys.stdin.readline)).strip() not in ("up", ""):
            pass

    received = 0

    async def on_connection(reader, writer):
        nonlocal received
        try:
            while not writer.is_closing():
                message = await reader.readmessage()
                received += 1
                code = "" if args.mode == "silent" or received <= args.ignore_first else args.mode
                control_id = str(message.segment("MSH")[10])
                if args.pretty:
                    say(f"LIS: {control_id} {str(message.segment('PID')[5])} "
                        f"{str(message.segment('OBX')[5])} {str(message.segment('OBX')[6])} "
                        f"-> {code or 'no answer'}")
                else:
                    say(json.dumps({"control_id": control_id, "answered": code,
                                    "segments": segments_of(message)}, ensure_ascii=False))
                if code:
                    writer.writemessage(hl7.parse(answer(message, code, args.error_text)))
                    await writer.drain()
                    if args.close_after_answer:
                        break
        except asyncio.IncompleteReadError:
            pass
        finally:
            writer.close()

    server = await hl7.mllp.start_hl7_server(on_connection, args.host, port, encoding="utf-8")
    say(f"listening {port}")
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
