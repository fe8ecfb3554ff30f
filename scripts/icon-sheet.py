#!/usr/bin/env python3
# Lays the PNGs that `qel icons --out DIR` writes side by side, enlarged 4 times, into one
# picture for the README: python3 scripts/icon-sheet.py DIR docs/icons.png
import zlib, struct, sys, os, glob
def read_png(p):
    d=open(p,'rb').read(); assert d[:8]==b'\x89PNG\r\n\x1a\n'
    i=8; idat=b''; 
    while i<len(d):
        n,=struct.unpack('>I',d[i:i+4]); t=d[i+4:i+8]; c=d[i+8:i+8+n]; i+=12+n
        if t==b'IHDR': w,h,bd,ct,_,_,il=struct.unpack('>IIBBBBB',c)
        elif t==b'IDAT': idat+=c
    assert bd==8 and ct in (2,6) and il==0, (bd,ct,il)
    bpp=4 if ct==6 else 3; raw=zlib.decompress(idat); stride=w*bpp; rows=[]; prev=bytearray(stride); o=0
    for y in range(h):
        f=raw[o]; o+=1; line=bytearray(raw[o:o+stride]); o+=stride
        for x in range(stride):
            a=line[x-bpp] if x>=bpp else 0; b=prev[x]; c=prev[x-bpp] if x>=bpp else 0
            if f==1: line[x]=(line[x]+a)&255
            elif f==2: line[x]=(line[x]+b)&255
            elif f==3: line[x]=(line[x]+(a+b)//2)&255
            elif f==4:
                p_=a+b-c; pa,pb,pc=abs(p_-a),abs(p_-b),abs(p_-c)
                line[x]=(line[x]+(a if pa<=pb and pa<=pc else b if pb<=pc else c))&255
        rows.append([tuple(line[x*bpp:x*bpp+3])+((line[x*bpp+3],) if bpp==4 else (255,)) for x in range(w)]); prev=line
    return w,h,rows
files=sorted(glob.glob(sys.argv[1]+'/*.png')); S=4; cell=32*S+8; cols=8
W=cols*cell; H=((len(files)+cols-1)//cols)*cell
img=[[(240,240,240)]*W for _ in range(H)]
for k,f in enumerate(files):
    w,h,rows=read_png(f); ox=(k%cols)*cell+4; oy=(k//cols)*cell+4
    for y in range(h*S):
        for x in range(w*S):
            r,g,b,a=rows[y//S][x//S]; bg=(240,240,240)
            img[oy+y][ox+x]=tuple((r*a+bg[i]*(255-a))//255 for i,(r) in enumerate((r,g,b)))
raw=b''.join(b'\x00'+bytes(v for px in row for v in px) for row in img)
def chunk(t,c): return struct.pack('>I',len(c))+t+c+struct.pack('>I',zlib.crc32(t+c)&0xffffffff)
open(sys.argv[2],'wb').write(b'\x89PNG\r\n\x1a\n'+chunk(b'IHDR',struct.pack('>IIBBBBB',W,H,8,2,0,0,0))+chunk(b'IDAT',zlib.compress(raw,9))+chunk(b'IEND',b''))
